#include "wua_sim.h"

HRESULT WuaSimCreateInstance(REFCLSID, IUnknown*, DWORD, REFIID, LPVOID* ppv) {
    if (ppv) *ppv = nullptr;
    return REGDB_E_CLASSNOTREG;
}
long WuaSimLiveObjects() { return 0; }
void WuaSimJournalLiveObjects() {}
void WuaSimReset() {}

#include <cstdlib>

#include "../platform.h"
#include "../wua_sim/wua_sim.h"

HRESULT CoInitializeEx(void*, DWORD) {
    if (const char* forced = std::getenv("WORKER_COINIT_RESULT")) {
        return static_cast<HRESULT>(std::strtoul(forced, nullptr, 0));
    }
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return WuaSimCreateInstance(rclsid, pUnkOuter, dwClsContext, riid, ppv);
}

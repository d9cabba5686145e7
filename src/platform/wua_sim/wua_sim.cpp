#include "wua_sim.h"

#include <cstdlib>
#include <mutex>

#include "sim_catalog.h"
#include "sim_objects.h"
#include "sim_runtime.h"

using namespace wua_sim;

namespace {

void JournalLiveObjectsAtExit() {
    WuaSimJournalLiveObjects();
}

}  // namespace

HRESULT WuaSimCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    static std::once_flag exitLine;
    std::call_once(exitLine, [] { std::atexit(JournalLiveObjectsAtExit); });

    const char* name = ClassName(rclsid);
    std::string className = name ? name : GuidText(rclsid);
    Call call("CoCreateInstance", {{"class", className}, {"iid", InterfaceName(riid)}, {"context", dwClsContext}},
              Call::FaultKeys{{"CoCreateInstance:" + className, "CoCreateInstance"}});
    if (!ppv) return call.Done(E_POINTER);
    *ppv = nullptr;
    if (!name || !(dwClsContext & CLSCTX_INPROC_SERVER)) return call.Done(REGDB_E_CLASSNOTREG);
    if (pUnkOuter) return call.Done(CLASS_E_NOAGGREGATION);
    if (call.Skipped()) return call.Skip();
    return call.Done(CreateObject(rclsid, riid, ppv));
}

long WuaSimLiveObjects() {
    return LiveObjects();
}

void WuaSimJournalLiveObjects() {
    JournalText("live-objects " + std::to_string(LiveObjects()));
}

void WuaSimReset() {
    ResetRuntime();
    ResetCatalogs();
}

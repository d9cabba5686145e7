#include <atomic>
#include <cstdlib>

#include "platform/platform.h"
#include "../wua_sim/wua_sim.h"

namespace {

// COM is entered once for the whole process (the multithreaded apartment).
std::atomic<bool> comEntered{false};

constexpr HRESULT kChangedMode = static_cast<HRESULT>(0x80010106);  // RPC_E_CHANGED_MODE: entered all the same

}  // namespace

HRESULT CoInitializeEx(void*, DWORD) {
    HRESULT result = S_OK;
    if (const char* forced = std::getenv("WORKER_COINIT_RESULT")) {
        result = static_cast<HRESULT>(std::strtoul(forced, nullptr, 0));
    }
    if (SUCCEEDED(result) || result == kChangedMode) comEntered = true;
    return result;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!comEntered) return CO_E_NOTINITIALIZED;
    return WuaSimCreateInstance(rclsid, pUnkOuter, dwClsContext, riid, ppv);
}

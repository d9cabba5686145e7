// The simulated update agent as an in-process COM server for Windows (and
// Wine): a class factory per class for CoCreateInstance, and registration of
// the four classes under HKLM\Software\Classes\CLSID, where Wine looks for
// them (it ignores the per-user classes).
#include <atomic>
#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/scoped_resource.h"
#include "../sim_objects.h"
#include "../wua_sim.h"

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_factories{0};
std::atomic<long> g_locks{0};

const CLSID* const kClasses[] = {&CLSID_UpdateSession, &CLSID_UpdateServiceManager, &CLSID_UpdateCollection,
                                 &CLSID_StringCollection};

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(REFCLSID clsid) : clsid_(clsid) { ++g_factories; }
    ~ClassFactory() { --g_factories; }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return WuaSimCreateInstance(clsid_, outer, CLSCTX_INPROC_SERVER, riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ++g_locks;
        } else {
            --g_locks;
        }
        return S_OK;
    }

private:
    CLSID clsid_;
    std::atomic<ULONG> references_{1};
};

// "{XXXXXXXX-...}" as the registry names a class.
std::wstring ClassKeyName(REFCLSID clsid) {
    WCHAR text[64] = {};
    if (StringFromGUID2(clsid, text, 64) == 0) return std::wstring();
    return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

LONG SetText(HKEY key, const WCHAR* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

HRESULT RegisterSimClass(REFCLSID clsid, const std::wstring& modulePath) {
    std::wstring keyName = ClassKeyName(clsid) + L"\\InprocServer32";
    ScopedResource<HKEY, RegCloseKey> key;
    LONG status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Receive(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    status = SetText(key.Get(), nullptr, modulePath);
    if (status == ERROR_SUCCESS) status = SetText(key.Get(), L"ThreadingModel", L"Both");
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!wua_sim::ClassName(rclsid)) return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = new (std::nothrow) ClassFactory(rclsid);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() {
    return WuaSimLiveObjects() == 0 && g_factories == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_UNEXPECTED;
    for (const CLSID* clsid : kClasses) {
        if (HRESULT hr = RegisterSimClass(*clsid, path); FAILED(hr)) return hr;
    }
    return S_OK;
}

STDAPI DllUnregisterServer() {
    HRESULT result = S_OK;
    for (const CLSID* clsid : kClasses) {
        LONG status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKeyName(*clsid).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(status);
    }
    return result;
}

#include "sim_objects.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim_object.h"
#include "sim_operations.h"
#include "sim_search.h"
#include "sim_updates.h"

namespace wua_sim {

namespace {

using namespace detail;

// ---------------------------------------------------------------- session

class SimSession : public SimObject<IUpdateSession> {
public:
    SimSession() : SimObject("IUpdateSession", IID_IUpdateSession) {}

    SIM_TEXT_PROPERTY(ClientApplicationID, clientApplicationId_)
    STDMETHODIMP get_ReadOnly(VARIANT_BOOL* retval) override { return GetValue("get_ReadOnly", retval, VARIANT_FALSE); }
    SIM_NOT_IMPLEMENTED(get_WebProxy, (IWebProxy**))
    SIM_NOT_IMPLEMENTED(put_WebProxy, (IWebProxy*))
    STDMETHODIMP CreateUpdateSearcher(IUpdateSearcher** retval) override {
        Call call(Kind(), "CreateUpdateSearcher");
        return HandOut<IUpdateSearcher>(call, retval, [] { return new SimSearcher(); });
    }
    STDMETHODIMP CreateUpdateDownloader(IUpdateDownloader** retval) override {
        Call call(Kind(), "CreateUpdateDownloader");
        return HandOut<IUpdateDownloader>(call, retval, [] { return new SimDownloader(); });
    }
    STDMETHODIMP CreateUpdateInstaller(IUpdateInstaller** retval) override {
        Call call(Kind(), "CreateUpdateInstaller");
        return HandOut<IUpdateInstaller>(call, retval, [] { return new SimInstaller(); });
    }

private:
    std::string clientApplicationId_;
};

// ---------------------------------------------------------------- classes

struct ServedClass {
    const CLSID* clsid;
    const char* name;
    std::function<HRESULT(REFIID, void**)> create;
};

template <class T>
HRESULT Create(REFIID riid, void** object) {
    T* created = new T();
    HRESULT hr = created->QueryQuietly(riid, object);
    created->Drop();
    return hr;
}

const std::vector<ServedClass>& ServedClasses() {
    static const std::vector<ServedClass> classes = {
        {&CLSID_UpdateSession, "UpdateSession", Create<SimSession>},
        {&CLSID_UpdateServiceManager, "UpdateServiceManager", Create<SimServiceManager>},
        {&CLSID_UpdateCollection, "UpdateCollection", Create<SimUpdateCollection>},
        {&CLSID_StringCollection, "StringCollection", Create<SimStringCollection>},
    };
    return classes;
}

const ServedClass* FindClass(REFCLSID clsid) {
    for (const ServedClass& served : ServedClasses()) {
        if (IsEqualGUID(*served.clsid, clsid)) return &served;
    }
    return nullptr;
}

}  // namespace

const char* ClassName(REFCLSID clsid) {
    const ServedClass* served = FindClass(clsid);
    return served ? served->name : nullptr;
}

HRESULT CreateObject(REFCLSID clsid, REFIID riid, void** object) {
    *object = nullptr;
    const ServedClass* served = FindClass(clsid);
    return served ? served->create(riid, object) : REGDB_E_CLASSNOTREG;
}

std::string InterfaceName(REFIID riid) {
    static const std::vector<std::pair<const IID*, const char*>> names = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IDispatch, "IDispatch"},
        {&IID_IUpdateSession, "IUpdateSession"},
        {&IID_IUpdateSearcher, "IUpdateSearcher"},
        {&IID_IUpdateServiceManager, "IUpdateServiceManager"},
        {&IID_IUpdateService, "IUpdateService"},
        {&IID_ISearchResult, "ISearchResult"},
        {&IID_IUpdateCollection, "IUpdateCollection"},
        {&IID_IUpdate, "IUpdate"},
        {&IID_IUpdate2, "IUpdate2"},
        {&IID_IUpdateIdentity, "IUpdateIdentity"},
        {&IID_IUpdateDownloadContentCollection, "IUpdateDownloadContentCollection"},
        {&IID_IUpdateDownloadContent, "IUpdateDownloadContent"},
        {&IID_IStringCollection, "IStringCollection"},
        {&IID_IUpdateDownloader, "IUpdateDownloader"},
        {&IID_IDownloadResult, "IDownloadResult"},
        {&IID_IUpdateInstaller, "IUpdateInstaller"},
        {&IID_IInstallationResult, "IInstallationResult"},
        {&IID_IUpdateInstallationResult, "IUpdateInstallationResult"},
    };
    for (const auto& [iid, name] : names) {
        if (IsEqualGUID(*iid, riid)) return name;
    }
    return GuidText(riid);
}

}  // namespace wua_sim

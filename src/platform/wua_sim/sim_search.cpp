#include "sim_search.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/local_path.h"
#include "sim_catalog.h"
#include "sim_updates.h"

namespace wua_sim::detail {

namespace {

class SimSearchResult : public SimObject<ISearchResult> {
public:
    explicit SimSearchResult(const std::vector<std::shared_ptr<UpdateModel>>& found)
        : SimObject("ISearchResult", IID_ISearchResult), updates_(new SimUpdateCollection(found, true)) {}
    ~SimSearchResult() override { updates_->Drop(); }

    STDMETHODIMP get_ResultCode(OperationResultCode* retval) override {
        return GetValue("get_ResultCode", retval, orcSucceeded);
    }
    SIM_NOT_IMPLEMENTED(get_RootCategories, (ICategoryCollection**))
    STDMETHODIMP get_Updates(IUpdateCollection** retval) override {
        Call call(Kind(), "get_Updates");
        return HandOut<IUpdateCollection>(call, retval, [this] {
            updates_->Retain();
            return updates_;
        });
    }
    SIM_NOT_IMPLEMENTED(get_Warnings, (IUpdateExceptionCollection**))

private:
    SimUpdateCollection* updates_;
};

// UpdateServiceOption's only value, which wuapi.h of the MinGW toolchain
// lacks.
constexpr LONG kNonVolatileService = 0x1;  // usoNonVolatileService

class SimService : public SimObject<IUpdateService> {
public:
    SimService(std::string name, std::string id, bool nonVolatile)
        : SimObject("IUpdateService", IID_IUpdateService),
          name_(std::move(name)),
          id_(std::move(id)),
          nonVolatile_(nonVolatile) {}
    // The agent documents that without usoNonVolatileService the service
    // registration is removed automatically when the IUpdateService is
    // released; with it, only IUpdateServiceManager::RemoveService removes
    // it. A later search with a removed ID fails as for an unknown service.
    ~SimService() override {
        if (!nonVolatile_) UnregisterScanPackage(id_);
    }

    STDMETHODIMP get_Name(BSTR* retval) override { return GetText("get_Name", retval, name_); }
    SIM_NOT_IMPLEMENTED(get_ContentValidationCert, (VARIANT*))
    SIM_NOT_IMPLEMENTED(get_ExpirationDate, (DATE*))
    STDMETHODIMP get_IsManaged(VARIANT_BOOL* retval) override {
        return GetValue("get_IsManaged", retval, VARIANT_FALSE);
    }
    STDMETHODIMP get_IsRegisteredWithAU(VARIANT_BOOL* retval) override {
        return GetValue("get_IsRegisteredWithAU", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_IssueDate, (DATE*))
    STDMETHODIMP get_OffersWindowsUpdates(VARIANT_BOOL* retval) override {
        return GetValue("get_OffersWindowsUpdates", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_RedirectUrls, (IStringCollection**))
    STDMETHODIMP get_ServiceID(BSTR* retval) override { return GetText("get_ServiceID", retval, id_); }
    STDMETHODIMP get_IsScanPackageService(VARIANT_BOOL* retval) override {
        return GetValue("get_IsScanPackageService", retval, VARIANT_TRUE);
    }
    STDMETHODIMP get_CanRegisterWithAU(VARIANT_BOOL* retval) override {
        return GetValue("get_CanRegisterWithAU", retval, VARIANT_FALSE);
    }
    SIM_NOT_IMPLEMENTED(get_ServiceUrl, (BSTR*))
    SIM_NOT_IMPLEMENTED(get_SetupPrefix, (BSTR*))

private:
    std::string name_;
    std::string id_;
    bool nonVolatile_;
};

}  // namespace

HRESULT SimSearcher::Search(BSTR criteria, ISearchResult** retval) {
    Call call(Kind(), "Search",
              {{"criteria", Text(criteria)},
               {"service_id", serviceId_},
               {"server_selection", static_cast<int>(serverSelection_)},
               {"client_application_id", clientApplicationId_}});
    if (!retval) return call.Done(E_POINTER);
    *retval = nullptr;
    if (call.Skipped()) return call.Skip();
    std::optional<Criteria> parsed = ParseCriteria(Text(criteria));
    if (!parsed) return call.Done(kInvalidCriteria);
    // The agent documents that with ssOthers the server searched is the one
    // that ServiceID names, and that ServiceID reads NULL when no service is
    // available: without an ID there is no service to search.
    if (serverSelection_ == ssOthers && serviceId_.empty()) return call.Done(kNoService);
    std::string service = serverSelection_ == ssOthers ? serviceId_ : std::string(kMicrosoftUpdateServiceId);
    std::shared_ptr<Catalog> catalog;
    if (HRESULT hr = CatalogOfService(service, catalog); FAILED(hr)) return call.Done(hr);
    std::vector<std::shared_ptr<UpdateModel>> found = FindUpdates(*catalog, *parsed);
    call.Arguments()["found"] = found.size();
    *retval = new SimSearchResult(found);
    return call.Done(S_OK);
}

HRESULT SimServiceManager::AddScanPackageService(BSTR serviceName, BSTR scanFileLocation, LONG flags,
                                                 IUpdateService** ppService) {
    Call call(Kind(), "AddScanPackageService",
              {{"name", Text(serviceName)}, {"path", Text(scanFileLocation)}, {"flags", flags}});
    if (!ppService) return call.Done(E_POINTER);
    *ppService = nullptr;
    if (call.Skipped()) return call.Skip();
    if (!scanFileLocation || SysStringLen(scanFileLocation) == 0) return call.Done(E_INVALIDARG);
    // The flags are a combination of UpdateServiceOption values; the agent
    // documents E_INVALIDARG for a parameter value that is invalid.
    if ((flags & ~kNonVolatileService) != 0) return call.Done(E_INVALIDARG);
    std::shared_ptr<Catalog> catalog;
    if (HRESULT hr = ReadCatalog(LocalPathOf(scanFileLocation), catalog); FAILED(hr)) return call.Done(hr);
    std::string id = RegisterScanPackage(catalog);
    call.Arguments()["service_id"] = id;
    *ppService = new SimService(Text(serviceName), id, (flags & kNonVolatileService) != 0);
    return call.Done(S_OK);
}

}  // namespace wua_sim::detail

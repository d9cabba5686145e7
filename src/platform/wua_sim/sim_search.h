// Searching: the searcher, which finds updates in the catalog of the service
// it is aimed at, and the service manager, which registers a scan package as
// a service of its own.
#pragma once

#include <string>

#include "sim_object.h"

namespace wua_sim::detail {

class SimSearcher : public SimObject<IUpdateSearcher> {
public:
    SimSearcher() : SimObject("IUpdateSearcher", IID_IUpdateSearcher) {}

    SIM_PROPERTY(CanAutomaticallyUpgradeService, VARIANT_BOOL, canUpgrade_)
    SIM_TEXT_PROPERTY(ClientApplicationID, clientApplicationId_)
    SIM_PROPERTY(IncludePotentiallySupersededUpdates, VARIANT_BOOL, includeSuperseded_)
    SIM_PROPERTY(ServerSelection, ServerSelection, serverSelection_)
    SIM_NOT_IMPLEMENTED(BeginSearch, (BSTR, IUnknown*, VARIANT, ISearchJob**))
    SIM_NOT_IMPLEMENTED(EndSearch, (ISearchJob*, ISearchResult**))
    SIM_NOT_IMPLEMENTED(EscapeString, (BSTR, BSTR*))
    SIM_NOT_IMPLEMENTED(QueryHistory, (LONG, LONG, IUpdateHistoryEntryCollection**))

    // Searches the catalog of the service that the searcher is aimed at:
    // with server selection ssOthers the one its ServiceID names, otherwise
    // the Microsoft Update service.
    STDMETHODIMP Search(BSTR criteria, ISearchResult** retval) override;
    SIM_PROPERTY(Online, VARIANT_BOOL, online_)
    SIM_NOT_IMPLEMENTED(GetTotalHistoryCount, (LONG*))
    SIM_TEXT_PROPERTY(ServiceID, serviceId_)

private:
    VARIANT_BOOL canUpgrade_ = VARIANT_FALSE;
    VARIANT_BOOL includeSuperseded_ = VARIANT_FALSE;
    VARIANT_BOOL online_ = VARIANT_TRUE;
    ServerSelection serverSelection_ = ssDefault;
    std::string clientApplicationId_;
    std::string serviceId_;
};

class SimServiceManager : public SimObject<IUpdateServiceManager> {
public:
    SimServiceManager() : SimObject("IUpdateServiceManager", IID_IUpdateServiceManager) {}

    SIM_NOT_IMPLEMENTED(get_Services, (IUpdateServiceCollection**))
    SIM_NOT_IMPLEMENTED(AddService, (BSTR, BSTR, IUpdateService**))
    SIM_NOT_IMPLEMENTED(RegisterServiceWithAU, (BSTR))
    SIM_NOT_IMPLEMENTED(RemoveService, (BSTR))
    SIM_NOT_IMPLEMENTED(UnregisterServiceWithAU, (BSTR))

    // The scan package is the catalog of the service that it registers.
    STDMETHODIMP AddScanPackageService(BSTR serviceName, BSTR scanFileLocation, LONG flags,
                                       IUpdateService** ppService) override;
    SIM_NOT_IMPLEMENTED(SetOption, (BSTR, VARIANT))
};

}  // namespace wua_sim::detail

#include "deploy/letter_case.h"
#include "deploy/patch_deployment.h"
#include "joblog/job_log.h"
#include "platform/console.h"
#include "platform/scoped_com.h"
#include "platform/text_format.h"

namespace {

// The Microsoft Update service, searched when the offline scan package is missing.
const WCHAR kMicrosoftUpdateServiceId[] = TEXT("7971f918-a847-4430-9279-4a52d1efe18d");

}  // namespace

// Finds the requested update. Goes on when it was found and is not installed
// yet; otherwise ends the run.
StepResult PatchDeployment::Search() {
    WCHAR scanPackagePath[1024] = {};
    FormatTruncated(scanPackagePath, TEXT("%s:\\ORV\\PatchDeploy\\wsusscn2.cab"), driveLetter_);
    const bool packagePresent = PathFileExistsW(scanPackagePath) == TRUE;

    if (const StepResult opened = OpenSession(packagePresent, scanPackagePath)) {
        return opened;
    }
    if (const StepResult created = CreateSearcher(packagePresent)) {
        return created;
    }
    if (const StepResult found = FindUpdates()) {
        return found;
    }
    return CheckFoundUpdate();
}

// The update session, with the scan package registered as a service when it
// is present.
StepResult PatchDeployment::OpenSession(bool packagePresent, const WCHAR* scanPackagePath) {
    HRESULT hr = CoCreateInstance(CLSID_UpdateSession, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateSession,
                                  reinterpret_cast<void**>(&lpUpdateSession));
    if (FAILED(hr) || lpUpdateSession == nullptr) {
        return Fail(ExitRelease::None, FailureText{MissingObjectCode(hr)});
    }
    if (!packagePresent) {
        JobLog(LogType::Information, TEXT("No offline scan package: the search goes to Microsoft Update (online)"));
        lpUpdateSession->put_ClientApplicationID(ScopedBstr(TEXT("VeltraneORV")).Get());
        return kGoOn;
    }

    hr = CoCreateInstance(CLSID_UpdateServiceManager, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateServiceManager,
                          reinterpret_cast<void**>(&lpUpdateServiceManager));
    if (FAILED(hr) || lpUpdateServiceManager == nullptr) {
        return Fail(ExitRelease::Scan, FailureText{MissingObjectCode(hr)});
    }
    lpUpdateSession->put_ClientApplicationID(ScopedBstr(TEXT("Veltrane-PostScan")).Get());
    const LogStopwatch registration;
    hr = lpUpdateServiceManager->AddScanPackageService(ScopedBstr(TEXT("Offline Sync Service")).Get(),
                                                       ScopedBstr(scanPackagePath).Get(), 0, &pService);
    JobLog(ResultType(hr == S_OK && pService != nullptr),
           TEXT("Offline scan package %s registered as a service: hr 0x%X, %u ms"), scanPackagePath, hr,
           registration.Milliseconds());
    if (hr != S_OK || pService == nullptr) {
        hr = FailedCallCode(hr);
        return Fail(ExitRelease::Scan, StepLine(TEXT("\nFailure to AddScanPackageService. Error: 0x%X"), hr),
                    FailureText{hr});
    }
    return kGoOn;
}

// The searcher, aimed at the scan package's service or at Microsoft Update.
StepResult PatchDeployment::CreateSearcher(bool packagePresent) {
    HRESULT hr = lpUpdateSession->CreateUpdateSearcher(&lpUpdateSearcher);
    if (hr != S_OK || lpUpdateSearcher == nullptr) {
        hr = FailedCallCode(hr);
        return Fail(ExitRelease::Scan, StepLine(TEXT("\nFailed to create UpdateSearcher. Error 0x%X"), hr),
                    FailureText{hr});
    }
    if (!packagePresent) {
        lpUpdateSearcher->put_ServiceID(ScopedBstr(kMicrosoftUpdateServiceId).Get());
    } else {
        ScopedBstr serviceId;
        pService->get_ServiceID(serviceId.Receive());
        lpUpdateSearcher->put_ServiceID(serviceId.Get());
        lpUpdateSearcher->put_ClientApplicationID(ScopedBstr(TEXT("Veltrane-PostScan")).Get());
    }
    lpUpdateSearcher->put_ServerSelection(ssOthers);
    return kGoOn;
}

// Searches for the update by its identifier. Nothing found ends the run as a
// success; otherwise the installation list is made ready.
StepResult PatchDeployment::FindUpdates() {
    ConsolePrint(TEXT("\n\nSearching for missing patches. Please wait.\n"));
    WCHAR criteria[260] = {};
    FormatTruncated(criteria, TEXT("Type='Software' and UpdateID='%s'"), updateId_);
    const LogStopwatch search;
    HRESULT hr = lpUpdateSearcher->Search(ScopedBstr(criteria).Get(), &pSearchResult);
    JobLog(ResultType(hr == S_OK && pSearchResult != nullptr), TEXT("Search for update %s: hr 0x%X, %u ms"), updateId_,
           hr, search.Milliseconds());
    if (hr != S_OK || pSearchResult == nullptr) {
        hr = FailedCallCode(hr);
        return Fail(ExitRelease::Scan,
                    StepLine(TEXT("\nFailed to perform Search GetLastError: %d. Error: 0x%X  "),
                             static_cast<int>(GetLastError()), hr),
                    FailureText{hr});
    }

    // The found updates and their count must be readable: a search result
    // that cannot be read is a failure, not "nothing found".
    hr = pSearchResult->get_Updates(&pUpdateCollection1);
    if (hr != S_OK || pUpdateCollection1 == nullptr) {
        return Fail(ExitRelease::Scan, FailureText{FailedCallCode(hr)});
    }
    LONG count = 0;
    hr = pUpdateCollection1->get_Count(&count);
    if (hr != S_OK) {
        return Fail(ExitRelease::Scan, FailureText{hr});
    }
    if (count <= 0) {
        JobLog(LogType::Information, TEXT("The update was not found: nothing to do"));
        return Finish(ExitRelease::Scan, 0, StepLine(TEXT("update count is 0. return as success.\n")));
    }

    hr = CoCreateInstance(CLSID_UpdateCollection, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateCollection,
                          reinterpret_cast<void**>(&pUpdateCollection2));
    if (FAILED(hr) || pUpdateCollection2 == nullptr) {
        return Fail(ExitRelease::Scan, FailureText{MissingObjectCode(hr)});
    }
    return kGoOn;
}

// Takes the first update found. It goes on to be deployed when it is the
// requested one and not installed yet.
StepResult PatchDeployment::CheckFoundUpdate() {
    HRESULT hr = pUpdateCollection1->get_Item(0, &lpUpdate);
    if (FAILED(hr) || lpUpdate == nullptr) {
        return Fail(ExitRelease::Both, FailureText{MissingObjectCode(hr)}, StepLine(TEXT("lpUpdate is null\n")));
    }
    hr = lpUpdate->QueryInterface(IID_IUpdate2, reinterpret_cast<void**>(&lpUpdate2));
    if (FAILED(hr) || lpUpdate2 == nullptr) {
        return Fail(ExitRelease::Both, FailureText{MissingObjectCode(hr)});
    }
    if (lpUpdate2->get_Identity(&pUpdateIdentity) != S_OK || pUpdateIdentity == nullptr) {
        return Fail(ExitRelease::Both);
    }
    ScopedBstr foundIdText;
    pUpdateIdentity->get_UpdateID(foundIdText.Receive());
    WCHAR foundId[1024] = {};
    FormatTruncated(foundId, TEXT("%s"), static_cast<const WCHAR*>(foundIdText.Get()));

    VARIANT_BOOL installed = VARIANT_FALSE;
    lpUpdate->get_IsInstalled(&installed);

    if (foundIdText.Get() == nullptr || !EqualsIgnoringLetterCase(foundId, updateId_)) {
        return Fail(ExitRelease::Both);
    }
    if (installed == VARIANT_TRUE) {
        JobLog(LogType::Information, TEXT("The update is installed already: nothing to do"));
        return Finish(ExitRelease::Both, 0);
    }
    return kGoOn;
}

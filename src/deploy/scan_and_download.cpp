#include "deploy/scan_and_download.h"

#include "deploy/content_file.h"
#include "deploy/letter_case.h"
#include "deploy/release_pointers.h"
#include "deploy/standalone_package.h"
#include "errors/scan_error_codes.h"
#include "platform/console.h"
#include "platform/scoped_com.h"
#include "platform/text_format.h"

namespace {

// The Microsoft Update service, searched when the offline scan package is missing.
const WCHAR kMicrosoftUpdateServiceId[] = TEXT("7971f918-a847-4430-9279-4a52d1efe18d");

// The search criteria live in 260 characters; the fixed part takes 31 of them
// and the terminator one, which leaves 228 for the update identifier.
constexpr std::size_t kMaxUpdateIdLength = 228;

constexpr std::size_t kDescriptionCapacity = 1024;

// How an exit gives the update agent's objects back: Scan runs the
// scan-phase release routine, Both runs both routines, Quiet runs neither.
// Whatever an exit's routines do not cover is released without a console
// line, so that no exit leaves an object alive.
enum class Release { None, Scan, Both, Quiet };

// Refuses an update identifier that the search criteria cannot hold as it
// stands: one that would be cut, or one whose quote would end the quoted
// identifier and change the search. Writes the reason into description.
bool IsUsableUpdateId(const WCHAR* updateId, WCHAR* description) {
    if (updateId == nullptr) {
        FormatTruncatedN(description, kDescriptionCapacity, TEXT("Invalid update identifier: none was given."));
        return false;
    }
    std::size_t length = 0;
    for (const WCHAR* c = updateId; *c != 0; ++c, ++length) {
        if (*c == TEXT('\'')) {
            FormatTruncatedN(description, kDescriptionCapacity,
                             TEXT("Invalid update identifier: it contains a quote ('), which is not allowed."));
            return false;
        }
    }
    if (length > kMaxUpdateIdLength) {
        FormatTruncatedN(description, kDescriptionCapacity,
                         TEXT("Invalid update identifier: it is %u characters long, at most %u are allowed."),
                         static_cast<unsigned>(length), static_cast<unsigned>(kMaxUpdateIdLength));
        return false;
    }
    return true;
}

// Reads the HResult of the first update's installation result and releases
// that result at once. Returns what GetUpdateResult returned (E_POINTER when
// it claimed success without a result).
HRESULT ReadFirstUpdateHResult(IInstallationResult* installationResult, LONG& updateHResult) {
    IUpdateInstallationResult* updateResult = nullptr;
    HRESULT hr = installationResult->GetUpdateResult(0, &updateResult);
    if (hr == S_OK && updateResult == nullptr) {
        hr = E_POINTER;
    }
    if (hr == S_OK) {
        updateResult->get_HResult(&updateHResult);
    }
    if (updateResult != nullptr) {
        updateResult->Release();
    }
    return hr;
}

// Releases an object that a newer one replaces. The reference is cleared
// first, so that a release that raises an exception is not repeated.
template <typename T>
void ReleaseAndClear(T*& reference) {
    T* held = reference;
    reference = nullptr;
    if (held != nullptr) {
        held->Release();
    }
}

// The same on the way out, where nothing may stop the releases that follow.
template <typename... T>
void ReleaseQuietly(T*&... references) {
    auto release = [](auto*& reference) {
        try {
            ReleaseAndClear(reference);
        } catch (...) {
        }
    };
    (release(references), ...);
}

// One run of the deployment: the WUA objects it holds, and the steps of the
// search, the choice of the way and the three ways of installing. Every step
// that ends the run returns through Fail, FailWithoutText or Finish, which run
// the release routines that the exit calls for.
class PatchDeployment {
public:
    PatchDeployment(const WCHAR* updateId, const WCHAR* jobId, const WCHAR* driveLetter, WCHAR* description)
        : updateId_(updateId), jobId_(jobId), driveLetter_(driveLetter), description_(description) {}

    int Run() {
        const int searchResult = Search();
        if (searchResult != kContinue) {
            return searchResult;
        }
        return Deploy();
    }

    // Releases whatever an interrupted run still holds, without the release
    // routines' lines.
    void ReleaseRemaining() { ReleaseFor(Release::Quiet); }

private:
    static constexpr int kContinue = 2;

    int Search();
    int Deploy();
    int CacheBundledContent(LONG bundledCount);
    int InstallCachedUpdate();
    int InstallOnline();
    HRESULT InstallationFailureCode();
    int RestartFlag();

    void WriteFailureText(HRESULT code) {
        WCHAR text[kDescriptionCapacity] = {};
        GetScanErrorCodes(static_cast<DWORD>(code), text);
        if (text[0] == 0) {
            FormatTruncatedN(description_, kDescriptionCapacity, TEXT("Error code: 0x%X"), code);
        } else {
            FormatTruncatedN(description_, kDescriptionCapacity, TEXT("Error description:%s"), text);
        }
    }

    int Fail(Release release, HRESULT code) {
        WriteFailureText(code);
        return FailWithoutText(release);
    }

    int FailWithoutText(Release release) { return Finish(release, -1); }

    // A failed step of the online way: its console line, no description.
    int FailOnline(Release release, const WCHAR* lineFormat, HRESULT code) {
        ConsolePrint(lineFormat, code);
        return FailWithoutText(release);
    }

    int Finish(Release release, int result) {
        ReleaseFor(release);
        return result;
    }

    void ReleaseFor(Release release) {
        if (release == Release::None) {
            return;
        }
        if (release != Release::Quiet) {
            ReleasePatchScanPointers(lpUpdateSession, lpUpdateSearcher, lpUpdateServiceManager, pService,
                                     pUpdateCollection1, pUpdateCollection2, pUpdateCollection3, pSearchResult);
            ForgetScanPhase();
        }
        if (release == Release::Both) {
            ReleasePatchDeployPointers(lpUpdate, lpUpdate2, pUpdateIdentity, pUpdateDownloadContentCollection,
                                       lpString, pUpdateDownloadContent, lpUpdateInstaller, IResult,
                                       lpUpdateDownloader, lpDownloadResult, pUpdate, pUpdate2);
            ForgetDeployPhase();
        }
        ReleaseQuietly(lpUpdateSession, lpUpdateSearcher, lpUpdateServiceManager, pService, pUpdateCollection1,
                       pUpdateCollection2, pUpdateCollection3, pSearchResult, lpUpdate, lpUpdate2, pUpdateIdentity,
                       pUpdateDownloadContentCollection, lpString, pUpdateDownloadContent, lpUpdateInstaller,
                       IResult, lpUpdateDownloader, lpDownloadResult, pUpdate, pUpdate2);
    }

    void ForgetScanPhase() {
        lpUpdateSession = nullptr;
        lpUpdateSearcher = nullptr;
        lpUpdateServiceManager = nullptr;
        pService = nullptr;
        pUpdateCollection1 = nullptr;
        pUpdateCollection2 = nullptr;
        pUpdateCollection3 = nullptr;
        pSearchResult = nullptr;
    }

    void ForgetDeployPhase() {
        lpUpdate = nullptr;
        lpUpdate2 = nullptr;
        pUpdateIdentity = nullptr;
        pUpdateDownloadContentCollection = nullptr;
        lpString = nullptr;
        pUpdateDownloadContent = nullptr;
        lpUpdateInstaller = nullptr;
        IResult = nullptr;
        lpUpdateDownloader = nullptr;
        lpDownloadResult = nullptr;
        pUpdate = nullptr;
        pUpdate2 = nullptr;
    }

    const WCHAR* updateId_;
    const WCHAR* jobId_;
    const WCHAR* driveLetter_;
    WCHAR* description_;

    // Search phase.
    IUpdateSession* lpUpdateSession = nullptr;
    IUpdateSearcher* lpUpdateSearcher = nullptr;
    IUpdateServiceManager* lpUpdateServiceManager = nullptr;
    IUpdateService* pService = nullptr;
    IUpdateCollection* pUpdateCollection1 = nullptr;
    IUpdateCollection* pUpdateCollection2 = nullptr;
    IUpdateCollection* pUpdateCollection3 = nullptr;
    ISearchResult* pSearchResult = nullptr;
    // Deployment phase.
    IUpdate* lpUpdate = nullptr;
    IUpdate2* lpUpdate2 = nullptr;
    IUpdateIdentity* pUpdateIdentity = nullptr;
    IUpdateDownloadContentCollection* pUpdateDownloadContentCollection = nullptr;
    IStringCollection* lpString = nullptr;
    IUpdateDownloadContent* pUpdateDownloadContent = nullptr;
    IUpdateInstaller* lpUpdateInstaller = nullptr;
    IInstallationResult* IResult = nullptr;
    IUpdateDownloader* lpUpdateDownloader = nullptr;
    IDownloadResult* lpDownloadResult = nullptr;
    IUpdate* pUpdate = nullptr;
    IUpdate2* pUpdate2 = nullptr;
};

// Finds the requested update. Returns kContinue when it was found and is not
// installed yet, otherwise the result of the run.
int PatchDeployment::Search() {
    WCHAR scanPackagePath[1024] = {};
    FormatTruncated(scanPackagePath, TEXT("%s:\\ORV\\PatchDeploy\\wsusscn2.cab"), driveLetter_);
    const bool packagePresent = PathFileExistsW(scanPackagePath) == TRUE;

    HRESULT hr = CoCreateInstance(CLSID_UpdateSession, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateSession,
                                  reinterpret_cast<void**>(&lpUpdateSession));
    if (FAILED(hr) || lpUpdateSession == nullptr) {
        return Fail(Release::None, hr);
    }

    if (!packagePresent) {
        lpUpdateSession->put_ClientApplicationID(ScopedBstr(TEXT("VeltraneORV")).Get());
    } else {
        hr = CoCreateInstance(CLSID_UpdateServiceManager, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateServiceManager,
                              reinterpret_cast<void**>(&lpUpdateServiceManager));
        if (FAILED(hr) || lpUpdateServiceManager == nullptr) {
            return Fail(Release::Scan, hr);
        }
        lpUpdateSession->put_ClientApplicationID(ScopedBstr(TEXT("Veltrane-PostScan")).Get());
        hr = lpUpdateServiceManager->AddScanPackageService(ScopedBstr(TEXT("Offline Sync Service")).Get(),
                                                           ScopedBstr(scanPackagePath).Get(), 0, &pService);
        if (hr != S_OK || pService == nullptr) {
            ConsolePrint(TEXT("\nFailure to AddScanPackageService. Error: 0x%X"), hr);
            return Fail(Release::Scan, hr);
        }
    }

    hr = lpUpdateSession->CreateUpdateSearcher(&lpUpdateSearcher);
    if (hr != S_OK || lpUpdateSearcher == nullptr) {
        ConsolePrint(TEXT("\nFailed to create UpdateSearcher. Error 0x%X"), hr);
        return Fail(Release::Scan, hr);
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

    ConsolePrint(TEXT("\n\nSearching for missing patches. Please wait.\n"));
    WCHAR criteria[260] = {};
    FormatTruncated(criteria, TEXT("Type='Software' and UpdateID='%s'"), updateId_);
    hr = lpUpdateSearcher->Search(ScopedBstr(criteria).Get(), &pSearchResult);
    if (hr != S_OK || pSearchResult == nullptr) {
        ConsolePrint(TEXT("\nFailed to perform Search GetLastError: %d. Error: 0x%X  "),
                     static_cast<int>(GetLastError()), hr);
        return Fail(Release::Scan, hr);
    }

    // The found updates and their count must be readable: a search result
    // that cannot be read is a failure, not "nothing found".
    hr = pSearchResult->get_Updates(&pUpdateCollection1);
    if (hr != S_OK || pUpdateCollection1 == nullptr) {
        return Fail(Release::Scan, hr == S_OK ? E_POINTER : hr);
    }
    LONG count = 0;
    hr = pUpdateCollection1->get_Count(&count);
    if (hr != S_OK) {
        return Fail(Release::Scan, hr);
    }
    if (count <= 0) {
        ConsolePrint(TEXT("update count is 0. return as success.\n"));
        return Finish(Release::Scan, 0);
    }

    hr = CoCreateInstance(CLSID_UpdateCollection, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateCollection,
                          reinterpret_cast<void**>(&pUpdateCollection2));
    if (FAILED(hr) || pUpdateCollection2 == nullptr) {
        return Fail(Release::Scan, hr);
    }

    hr = pUpdateCollection1->get_Item(0, &lpUpdate);
    if (FAILED(hr) || lpUpdate == nullptr) {
        WriteFailureText(hr);
        ConsolePrint(TEXT("lpUpdate is null\n"));
        return FailWithoutText(Release::Both);
    }

    hr = lpUpdate->QueryInterface(IID_IUpdate2, reinterpret_cast<void**>(&lpUpdate2));
    if (FAILED(hr) || lpUpdate2 == nullptr) {
        return Fail(Release::Both, hr);
    }

    hr = lpUpdate2->get_Identity(&pUpdateIdentity);
    if (hr != S_OK || pUpdateIdentity == nullptr) {
        return FailWithoutText(Release::Both);
    }
    ScopedBstr foundIdText;
    pUpdateIdentity->get_UpdateID(foundIdText.Receive());
    WCHAR foundId[1024] = {};
    FormatTruncated(foundId, TEXT("%s"), static_cast<const WCHAR*>(foundIdText.Get()));

    VARIANT_BOOL installed = VARIANT_FALSE;
    lpUpdate->get_IsInstalled(&installed);

    if (foundIdText.Get() == nullptr || !EqualsIgnoringLetterCase(foundId, updateId_)) {
        return FailWithoutText(Release::Both);
    }
    if (installed == VARIANT_TRUE) {
        return Finish(Release::Both, 0);
    }
    return kContinue;
}

// Installs the found update: from its standalone package, from the content
// files in the job folder, or online when it has no bundled updates.
int PatchDeployment::Deploy() {
    ScopedBstr title;
    lpUpdate->get_Title(title.Receive());
    if (IsStandalonePackageTitle(title.Get())) {
        // The installer does not need the update agent's objects. This way
        // prints nothing of its own, so they go back without the release
        // routines' lines.
        return Finish(Release::Quiet, InstallStandalonePackage(driveLetter_, jobId_, description_));
    }

    HRESULT hr = lpUpdate->get_BundledUpdates(&pUpdateCollection3);
    if (hr != S_OK || pUpdateCollection3 == nullptr) {
        return FailWithoutText(Release::Both);
    }
    LONG bundledCount = 0;
    hr = pUpdateCollection3->get_Count(&bundledCount);
    if (hr != S_OK) {
        return Fail(Release::Both, hr);
    }
    if (bundledCount <= 0) {
        return InstallOnline();
    }
    const int cached = CacheBundledContent(bundledCount);
    if (cached != kContinue) {
        return cached;
    }
    return InstallCachedUpdate();
}

// Hands each bundled update's content file from the job folder to the update
// agent's cache. The objects obtained for one bundled update are released
// before those of the next are obtained, so only the last ones are left for
// the release routine. Returns kContinue when every file was accepted.
int PatchDeployment::CacheBundledContent(LONG bundledCount) {
    for (LONG i = 0; i < bundledCount; ++i) {
        ReleaseAndClear(pUpdateDownloadContent);
        ReleaseAndClear(lpString);
        ReleaseAndClear(pUpdateDownloadContentCollection);
        ReleaseAndClear(pUpdate2);
        ReleaseAndClear(pUpdate);

        HRESULT hr = pUpdateCollection3->get_Item(i, &pUpdate);
        if (FAILED(hr) || pUpdate == nullptr) {
            ConsolePrint(TEXT("retUpdate is null :: Bundled update didnt get any item for this patch\n"));
            return Fail(Release::Both, hr);
        }
        hr = pUpdate->get_DownloadContents(&pUpdateDownloadContentCollection);
        if (FAILED(hr) || pUpdateDownloadContentCollection == nullptr) {
            ConsolePrint(TEXT("retVal is null :: Not able to get the downloadcontents \n"));
            return Fail(Release::Both, hr);
        }
        hr = CoCreateInstance(CLSID_StringCollection, nullptr, CLSCTX_INPROC_SERVER, IID_IStringCollection,
                              reinterpret_cast<void**>(&lpString));
        if (FAILED(hr) || lpString == nullptr) {
            return Fail(Release::Both, hr);
        }
        hr = pUpdateDownloadContentCollection->get_Item(0, &pUpdateDownloadContent);
        if (hr != S_OK) {
            continue;  // a bundled update without content has nothing to cache
        }
        if (pUpdateDownloadContent == nullptr) {
            ConsolePrint(TEXT("retItem is null :: Not able to get the download url\n"));
            FormatTruncatedN(description_, kDescriptionCapacity,
                             TEXT("Patch deploy failed. Unable to get the download URL."));
            return FailWithoutText(Release::Both);
        }

        ScopedBstr url;
        pUpdateDownloadContent->get_DownloadUrl(url.Receive());
        WCHAR fileName[1024] = {};
        ContentFileNameFromUrl(url.Get(), fileName);
        WCHAR filePath[2048] = {};
        FormatTruncated(filePath, TEXT("%s:\\ORV\\%s\\%s"), driveLetter_, jobId_, fileName);
        ConsolePrint(TEXT("File path: %s\n"), filePath);

        LONG index = 0;
        hr = lpString->Add(ScopedBstr(filePath).Get(), &index);
        if (hr != S_OK) {
            ConsolePrint(TEXT("Error %x"), hr);
            return Fail(Release::Both, hr);
        }
        hr = pUpdate->QueryInterface(IID_IUpdate2, reinterpret_cast<void**>(&pUpdate2));
        if (SUCCEEDED(hr) && pUpdate2 != nullptr) {
            hr = pUpdate2->CopyToCache(lpString);
        } else if (SUCCEEDED(hr)) {
            hr = E_NOINTERFACE;
        }
        if (hr != S_OK) {
            ConsolePrint(TEXT("Error %x"), hr);
            return Fail(Release::Both, hr);
        }
    }
    return kContinue;
}

// Installs the found update after its content has been cached.
int PatchDeployment::InstallCachedUpdate() {
    lpUpdate->AcceptEula();
    LONG index = 0;
    pUpdateCollection2->Add(lpUpdate, &index);
    HRESULT hr = lpUpdateSession->CreateUpdateInstaller(&lpUpdateInstaller);
    if (lpUpdateInstaller == nullptr) {
        return Fail(Release::Both, SUCCEEDED(hr) ? E_POINTER : hr);
    }
    if (lpUpdateInstaller->put_Updates(pUpdateCollection2) != S_OK) {
        return FailWithoutText(Release::Both);
    }
    hr = lpUpdateInstaller->Install(&IResult);
    if (hr != S_OK || IResult == nullptr) {
        ConsolePrint(TEXT("Error: 0x%X"), hr);
        return Fail(Release::Both, hr == S_OK ? E_POINTER : hr);
    }

    OperationResultCode resultCode = orcNotStarted;
    IResult->get_ResultCode(&resultCode);
    ConsolePrint(TEXT("Patch installed. resultcode:%d\n"), static_cast<int>(resultCode));
    if (resultCode != orcSucceeded) {
        return Fail(Release::Both, InstallationFailureCode());
    }
    return Finish(Release::Both, RestartFlag());
}

// The code that describes an installation that ran but did not succeed: the
// first update's own result, or the failure to read it.
HRESULT PatchDeployment::InstallationFailureCode() {
    LONG updateHResult = 0;
    const HRESULT hr = ReadFirstUpdateHResult(IResult, updateHResult);
    return hr == S_OK ? updateHResult : hr;
}

// Lets the update agent download and install the found updates itself. None
// of its failures writes the description.
int PatchDeployment::InstallOnline() {
    ConsolePrint(TEXT("EMPTY downloadURL. Going with FALLBACK online deployment.\n"));
    HRESULT hr = lpUpdateSession->CreateUpdateDownloader(&lpUpdateDownloader);
    if (hr != S_OK || lpUpdateDownloader == nullptr) {
        return FailOnline(Release::Both, TEXT("FAIL CreateUpdateDownloader:0x%X\n"), hr);
    }
    hr = lpUpdateDownloader->put_Updates(pUpdateCollection1);
    if (hr != S_OK) {
        return FailOnline(Release::Both, TEXT("FAIL put_Updates for Download:0x%X\n"), hr);
    }
    hr = lpUpdateDownloader->Download(&lpDownloadResult);
    if (hr != S_OK || lpDownloadResult == nullptr) {
        return FailOnline(Release::Scan, TEXT("FAIL Download:0x%X\n"), hr);
    }
    OperationResultCode downloadCode = orcNotStarted;
    lpDownloadResult->get_ResultCode(&downloadCode);
    if (downloadCode != orcSucceeded) {
        ConsolePrint(TEXT("Error code: 0x%X"), 0);
        ConsolePrint(TEXT("Download Return Val:%d\n"), 0);
        ConsolePrint(TEXT("Download failure.\n"));
        return FailWithoutText(Release::Scan);
    }
    ConsolePrint(TEXT("Download SUCCESS.\n"));

    hr = lpUpdateSession->CreateUpdateInstaller(&lpUpdateInstaller);
    if (hr != S_OK || lpUpdateInstaller == nullptr) {
        return FailOnline(Release::Scan, TEXT("FAIL CreateUpdateInstaller:0x%X\n"), hr);
    }
    hr = lpUpdateInstaller->put_Updates(pUpdateCollection1);
    if (hr != S_OK) {
        return FailOnline(Release::Scan, TEXT("FAIL put_Updates for Install:0x%X\n"), hr);
    }
    hr = lpUpdateInstaller->Install(&IResult);
    if (hr != S_OK || IResult == nullptr) {
        return FailOnline(Release::Both, TEXT("FAIL Install:0x%X\n"), hr);
    }
    OperationResultCode installCode = orcNotStarted;
    IResult->get_ResultCode(&installCode);
    if (installCode == orcSucceeded) {
        ConsolePrint(TEXT("Install SUCCESS.\n"));
        return Finish(Release::Both, RestartFlag());
    }

    LONG updateHResult = 0;
    hr = ReadFirstUpdateHResult(IResult, updateHResult);
    HRESULT code = hr;
    if (hr == S_OK) {
        ConsolePrint(TEXT("Patch installation failed. update result:: 0x%X"), updateHResult);
        code = updateHResult;
    } else {
        ConsolePrint(TEXT("Patch installation failed. Failed to get update result Error:0x%X"), hr);
    }
    WCHAR text[kDescriptionCapacity] = {};
    GetScanErrorCodes(static_cast<DWORD>(code), text);
    ConsolePrint(TEXT("Installation fails. Error:%s"), text);
    return FailWithoutText(Release::Both);
}

// 1 when the installation result asks for a restart, else 0. The flag is
// read the way OLE automation turns a VARIANT_BOOL into text (-1 for true);
// a failed conversion raises an exception.
int PatchDeployment::RestartFlag() {
    VARIANT_BOOL rebootRequired = VARIANT_FALSE;
    IResult->get_RebootRequired(&rebootRequired);
    ScopedVariant flag;
    flag->vt = VT_I2;
    flag->iVal = rebootRequired;
    flag.ChangeType(VT_BSTR);
    return _wtoi(flag->bstrVal) == -1 ? 1 : 0;
}

}  // namespace

int ScanAndDownload(LPCWSTR updateId, LPCWSTR jobId, LPCWSTR driveLetter, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                    LPCWSTR, LPCWSTR, WCHAR* description) {
    if (!IsUsableUpdateId(updateId, description)) {
        return -1;
    }
    PatchDeployment deployment(updateId, jobId, driveLetter, description);
    try {
        return deployment.Run();
    } catch (...) {
        ConsolePrint(TEXT("\nException in ScanAndDownload"));
        if (description[0] == 0) {
            FormatTruncatedN(description, kDescriptionCapacity, TEXT("Unknown error."));
        }
        // Whatever the interrupted step still held goes back to the agent.
        deployment.ReleaseRemaining();
        return -1;
    }
}

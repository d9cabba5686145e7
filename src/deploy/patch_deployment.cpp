#include "deploy/patch_deployment.h"

#include "deploy/release_pointers.h"
#include "errors/scan_error_codes.h"
#include "platform/console.h"
#include "platform/scoped_com.h"
#include "platform/text_format.h"

// Reads the HResult of the first update's installation result and releases
// that result at once. Returns what GetUpdateResult returned (E_POINTER when
// it claimed success without a result).
HRESULT PatchDeployment::ReadFirstUpdateHResult(LONG& updateHResult) {
    IUpdateInstallationResult* updateResult = nullptr;
    HRESULT hr = IResult->GetUpdateResult(0, &updateResult);
    if (updateResult == nullptr) {
        hr = FailedCallCode(hr);
    }
    if (hr == S_OK) {
        updateResult->get_HResult(&updateHResult);
    }
    if (updateResult != nullptr) {
        updateResult->Release();
    }
    return hr;
}

// The code that describes an installation that ran but did not succeed: the
// first update's own result, or the failure to read it.
HRESULT PatchDeployment::InstallationFailureCode() {
    LONG updateHResult = 0;
    const HRESULT hr = ReadFirstUpdateHResult(updateHResult);
    return hr == S_OK ? updateHResult : hr;
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

// The failure-text rule, cut at the description's last character.
void PatchDeployment::WriteFailureText(HRESULT code) {
    WCHAR text[kDescriptionCapacity] = {};
    GetScanErrorCodes(static_cast<DWORD>(code), text);
    if (text[0] == 0) {
        FormatTruncatedN(description_, kDescriptionCapacity, TEXT("Error code: 0x%X"), code);
    } else {
        FormatTruncatedN(description_, kDescriptionCapacity, TEXT("Error description:%s"), text);
    }
}

int PatchDeployment::FailCachingContent(HRESULT code) {
    ConsolePrint(TEXT("Error %x"), code);
    return Fail(ExitRelease::Both, code);
}

int PatchDeployment::FailOnline(ExitRelease release, const WCHAR* lineFormat, HRESULT code) {
    ConsolePrint(lineFormat, code);
    return FailWithoutText(release);
}

void PatchDeployment::ReleaseFor(ExitRelease release) {
    if (release == ExitRelease::None) {
        return;
    }
    if (release != ExitRelease::Quiet) {
        ReleasePatchScanPointers(lpUpdateSession, lpUpdateSearcher, lpUpdateServiceManager, pService,
                                 pUpdateCollection1, pUpdateCollection2, pUpdateCollection3, pSearchResult);
        ForgetScanPhase();
    }
    if (release == ExitRelease::Both) {
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

void PatchDeployment::ForgetScanPhase() {
    lpUpdateSession = nullptr;
    lpUpdateSearcher = nullptr;
    lpUpdateServiceManager = nullptr;
    pService = nullptr;
    pUpdateCollection1 = nullptr;
    pUpdateCollection2 = nullptr;
    pUpdateCollection3 = nullptr;
    pSearchResult = nullptr;
}

void PatchDeployment::ForgetDeployPhase() {
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

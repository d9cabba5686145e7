#include "deploy/patch_deployment.h"
#include "errors/scan_error_codes.h"
#include "platform/console.h"

// Lets the update agent download and install the found updates itself. None
// of its failures writes the description.
int PatchDeployment::InstallOnline() {
    ConsolePrint(TEXT("EMPTY downloadURL. Going with FALLBACK online deployment.\n"));
    HRESULT hr = lpUpdateSession->CreateUpdateDownloader(&lpUpdateDownloader);
    if (hr != S_OK || lpUpdateDownloader == nullptr) {
        return FailOnline(ExitRelease::Both, TEXT("FAIL CreateUpdateDownloader:0x%X\n"), FailedCallCode(hr));
    }
    hr = lpUpdateDownloader->put_Updates(pUpdateCollection1);
    if (hr != S_OK) {
        return FailOnline(ExitRelease::Both, TEXT("FAIL put_Updates for Download:0x%X\n"), hr);
    }
    hr = lpUpdateDownloader->Download(&lpDownloadResult);
    if (hr != S_OK || lpDownloadResult == nullptr) {
        return FailOnline(ExitRelease::Scan, TEXT("FAIL Download:0x%X\n"), FailedCallCode(hr));
    }
    OperationResultCode downloadCode = orcNotStarted;
    lpDownloadResult->get_ResultCode(&downloadCode);
    if (downloadCode != orcSucceeded) {
        ConsolePrint(TEXT("Error code: 0x%X"), 0);
        ConsolePrint(TEXT("Download Return Val:%d\n"), 0);
        ConsolePrint(TEXT("Download failure.\n"));
        return FailWithoutText(ExitRelease::Scan);
    }
    ConsolePrint(TEXT("Download SUCCESS.\n"));

    hr = lpUpdateSession->CreateUpdateInstaller(&lpUpdateInstaller);
    if (hr != S_OK || lpUpdateInstaller == nullptr) {
        return FailOnline(ExitRelease::Scan, TEXT("FAIL CreateUpdateInstaller:0x%X\n"), FailedCallCode(hr));
    }
    hr = lpUpdateInstaller->put_Updates(pUpdateCollection1);
    if (hr != S_OK) {
        return FailOnline(ExitRelease::Scan, TEXT("FAIL put_Updates for Install:0x%X\n"), hr);
    }
    hr = lpUpdateInstaller->Install(&IResult);
    if (hr != S_OK || IResult == nullptr) {
        return FailOnline(ExitRelease::Both, TEXT("FAIL Install:0x%X\n"), FailedCallCode(hr));
    }
    OperationResultCode installCode = orcNotStarted;
    IResult->get_ResultCode(&installCode);
    if (installCode == orcSucceeded) {
        ConsolePrint(TEXT("Install SUCCESS.\n"));
        return Finish(ExitRelease::Both, RestartFlag());
    }

    LONG updateHResult = 0;
    hr = ReadFirstUpdateHResult(updateHResult);
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
    return FailWithoutText(ExitRelease::Both);
}

#include "deploy/patch_deployment.h"
#include "platform/console.h"

// Lets the update agent download and install the found updates itself. None
// of its failures writes the description.
int PatchDeployment::InstallOnline() {
    ConsolePrint(TEXT("EMPTY downloadURL. Going with FALLBACK online deployment.\n"));
    HRESULT hr = lpUpdateSession->CreateUpdateDownloader(&lpUpdateDownloader);
    if (hr != S_OK || lpUpdateDownloader == nullptr) {
        return Fail(ExitRelease::Both, StepLine(TEXT("FAIL CreateUpdateDownloader:0x%X\n"), FailedCallCode(hr)));
    }
    hr = lpUpdateDownloader->put_Updates(pUpdateCollection1);
    if (hr != S_OK) {
        return Fail(ExitRelease::Both, StepLine(TEXT("FAIL put_Updates for Download:0x%X\n"), hr));
    }
    hr = lpUpdateDownloader->Download(&lpDownloadResult);
    if (hr != S_OK || lpDownloadResult == nullptr) {
        return Fail(ExitRelease::Scan, StepLine(TEXT("FAIL Download:0x%X\n"), FailedCallCode(hr)));
    }
    OperationResultCode downloadCode = orcNotStarted;
    lpDownloadResult->get_ResultCode(&downloadCode);
    if (downloadCode != orcSucceeded) {
        return Fail(ExitRelease::Scan, StepLine(TEXT("Error code: 0x%X"), 0), StepLine(TEXT("Download Return Val:%d\n"), 0),
                    StepLine(TEXT("Download failure.\n")));
    }
    ConsolePrint(TEXT("Download SUCCESS.\n"));

    hr = lpUpdateSession->CreateUpdateInstaller(&lpUpdateInstaller);
    if (hr != S_OK || lpUpdateInstaller == nullptr) {
        return Fail(ExitRelease::Scan, StepLine(TEXT("FAIL CreateUpdateInstaller:0x%X\n"), FailedCallCode(hr)));
    }
    hr = lpUpdateInstaller->put_Updates(pUpdateCollection1);
    if (hr != S_OK) {
        return Fail(ExitRelease::Scan, StepLine(TEXT("FAIL put_Updates for Install:0x%X\n"), hr));
    }
    hr = lpUpdateInstaller->Install(&IResult);
    if (hr != S_OK || IResult == nullptr) {
        return Fail(ExitRelease::Both, StepLine(TEXT("FAIL Install:0x%X\n"), FailedCallCode(hr)));
    }
    OperationResultCode installCode = orcNotStarted;
    IResult->get_ResultCode(&installCode);
    if (installCode == orcSucceeded) {
        ConsolePrint(TEXT("Install SUCCESS.\n"));
        return Finish(ExitRelease::Both, RestartFlag());
    }

    // The failure is named on the console only: the update's own result, or
    // the failure to read it, and that code's description.
    LONG updateHResult = 0;
    hr = ReadFirstUpdateHResult(updateHResult);
    if (hr == S_OK) {
        ConsolePrint(TEXT("Patch installation failed. update result:: 0x%X"), updateHResult);
    } else {
        ConsolePrint(TEXT("Patch installation failed. Failed to get update result Error:0x%X"), hr);
    }
    WCHAR text[kDescriptionCapacity] = {};
    GetScanErrorCodes(static_cast<DWORD>(hr == S_OK ? updateHResult : hr), text);
    return Fail(ExitRelease::Both, StepLine(TEXT("Installation fails. Error:%s"), static_cast<const WCHAR*>(text)));
}

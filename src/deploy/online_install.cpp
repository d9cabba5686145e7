#include "deploy/patch_deployment.h"
#include "joblog/job_log.h"
#include "platform/console.h"

namespace {

// The downloader's and the installer's calls: creation, put_Updates, and the
// download or installation itself.
const OnlineCall kDownloadCalls[] = {{TEXT("FAIL CreateUpdateDownloader:0x%X\n"), ExitRelease::Both},
                                     {TEXT("FAIL put_Updates for Download:0x%X\n"), ExitRelease::Both},
                                     {TEXT("FAIL Download:0x%X\n"), ExitRelease::Scan}};
const OnlineCall kInstallCalls[] = {{TEXT("FAIL CreateUpdateInstaller:0x%X\n"), ExitRelease::Scan},
                                    {TEXT("FAIL put_Updates for Install:0x%X\n"), ExitRelease::Scan},
                                    {TEXT("FAIL Install:0x%X\n"), ExitRelease::Both}};

}  // namespace

// Creates the downloader or the installer, hands it the updates that the
// search found (not the installation list), runs it into result and reads
// the result's code. The job log names the call as step.
template <typename Agent, typename Result, typename Create, typename Start>
StepResult PatchDeployment::RunOnlineAgent(const WCHAR* step, Create create, Agent*& agent, Start start,
                                           Result*& result, const OnlineCall (&calls)[3],
                                           OperationResultCode& resultCode) {
    const LogStopwatch clock;
    HRESULT hr = (lpUpdateSession->*create)(&agent);
    if (hr != S_OK || agent == nullptr) {
        JobLog(LogType::Error, TEXT("%s: could not be prepared: hr 0x%X"), step, FailedCallCode(hr));
        return Fail(calls[0].release, StepLine(calls[0].failureLine, FailedCallCode(hr)));
    }
    hr = agent->put_Updates(pUpdateCollection1);
    if (hr != S_OK) {
        JobLog(LogType::Error, TEXT("%s: could not be prepared: hr 0x%X"), step, hr);
        return Fail(calls[1].release, StepLine(calls[1].failureLine, hr));
    }
    hr = (agent->*start)(&result);
    if (hr != S_OK || result == nullptr) {
        JobLog(LogType::Error, TEXT("%s: hr 0x%X, %u ms"), step, FailedCallCode(hr), clock.Milliseconds());
        return Fail(calls[2].release, StepLine(calls[2].failureLine, FailedCallCode(hr)));
    }
    result->get_ResultCode(&resultCode);
    JobLog(ResultType(resultCode == orcSucceeded), TEXT("%s: hr 0x%X, result code %d, %u ms"), step, hr,
           static_cast<int>(resultCode), clock.Milliseconds());
    return kGoOn;
}

// Lets the update agent download and install the found updates itself. None
// of its failures writes the description.
int PatchDeployment::InstallOnline() {
    ConsolePrint(TEXT("EMPTY downloadURL. Going with FALLBACK online deployment.\n"));
    OperationResultCode downloadCode = orcNotStarted;
    if (const StepResult failed =
            RunOnlineAgent(TEXT("Download"), &IUpdateSession::CreateUpdateDownloader, lpUpdateDownloader,
                           &IUpdateDownloader::Download, lpDownloadResult, kDownloadCalls, downloadCode)) {
        return *failed;
    }
    if (downloadCode != orcSucceeded) {
        return Fail(ExitRelease::Scan, StepLine(TEXT("Error code: 0x%X"), 0),
                    StepLine(TEXT("Download Return Val:%d\n"), 0), StepLine(TEXT("Download failure.\n")));
    }
    ConsolePrint(TEXT("Download SUCCESS.\n"));

    OperationResultCode installCode = orcNotStarted;
    if (const StepResult failed =
            RunOnlineAgent(TEXT("Installation"), &IUpdateSession::CreateUpdateInstaller, lpUpdateInstaller,
                           &IUpdateInstaller::Install, IResult, kInstallCalls, installCode)) {
        return *failed;
    }
    if (installCode == orcSucceeded) {
        ConsolePrint(TEXT("Install SUCCESS.\n"));
        return Finish(ExitRelease::Both, RestartFlag());
    }

    // The failure is named on the console only: the update's own result, or
    // the failure to read it, and that code's description.
    LONG updateHResult = 0;
    const HRESULT hr = ReadFirstUpdateHResult(updateHResult);
    if (hr == S_OK) {
        ConsolePrint(TEXT("Patch installation failed. update result:: 0x%X"), updateHResult);
    } else {
        ConsolePrint(TEXT("Patch installation failed. Failed to get update result Error:0x%X"), hr);
    }
    WCHAR text[kDescriptionCapacity] = {};
    GetScanErrorCodes(static_cast<DWORD>(hr == S_OK ? updateHResult : hr), text);
    return Fail(ExitRelease::Both, StepLine(TEXT("Installation fails. Error:%s"), text));
}

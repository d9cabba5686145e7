#include "driver/deploy_job.h"

#include <memory>
#include <string>

#include "deploy/scan_and_download.h"
#include "deploy/step_exit.h"
#include "driver/narrow_text.h"
#include "errors/scan_error_codes.h"
#include "joblog/job_log.h"
#include "platform/console.h"
#include "platform/wide_string.h"
#include "spool/job_outcome_keeper.h"
#include "spool/spool_folder.h"
#include "status/report_sending.h"
#include "status/report_text.h"
#include "status/status_endpoint.h"
#include "status/status_settings.h"
#include "status/tls_library.h"

namespace {

constexpr int kReportAttempts = 5;
constexpr DWORD kPauseAfterFailedReportMs = 60000;
constexpr int kStatusSucceeded = 6;
constexpr int kStatusFailed = -6;

// Printed instead of the report when the endpoint cannot be sent as it is.
const WCHAR kUnsendableEndpoint[] = TEXT("Soap failure. The status server's host or port is not valid.");
// Printed instead of an attempt while the job's outcome could neither
// replace its older record in the spool nor remove it: were the outcome
// acknowledged, a later job would deliver that record after it.
const WCHAR kReportHeldBack[] =
    TEXT("The report is held back: an older record of this job could not be replaced or removed.");
// The report of a job that another worker is running already.
const WCHAR kAlreadyRunningText[] = TEXT("Another worker is already running this job.");

// The numbers of the job that every report carries.
struct JobNumbers {
    int jobId;
    int systemId;
    int patchId;
};

void FillRequest(ns1__UpdateDeployJobStatus& request, const JobNumbers& job, int status, int rebootRequired,
                 std::wstring& description) {
    request.nJobID = job.jobId;
    request.nPatchID = job.patchId;
    request.nSystemID = job.systemId;
    request.nStatus = status;
    request.nRebootRequired = rebootRequired;
    request.strErrorDescription = description.data();
}

void FillFailure(ns1__UpdateDeployJobStatus& request, const JobNumbers& job, const WCHAR* description,
                 std::wstring& reportText) {
    reportText = ToReportText(description);
    FillRequest(request, job, kStatusFailed, 0, reportText);
}

// The report of a deployment's result: success (with the restart flag) or
// failure with the description.
void FillOutcome(ns1__UpdateDeployJobStatus& request, const JobNumbers& job, int result, const WCHAR* description,
                 std::wstring& reportText) {
    if (result < 0) {
        FillFailure(request, job, description, reportText);
    } else {
        reportText.clear();
        FillRequest(request, job, kStatusSucceeded, result, reportText);
    }
}

// The text of the command line as the runtime takes it; nothing when it
// cannot be converted.
std::optional<std::string> NarrowCopy(const WCHAR* text) {
    NarrowText narrow = ToNarrow(text);
    if (!narrow) return std::nullopt;
    return std::string(narrow.get());
}

// The status server as the command line names it, and for HTTPS what the
// agent's trust file asks of it. A host or port that would not go out as
// named (see MakeStatusEndpoint) gives no endpoint: nothing is sent to it,
// as no retry would mend it.
StatusSettings ReadStatusSettings(WCHAR** argv) {
    StatusSettings settings;
    settings.useTls = _wtoi(argv[10]) == 1;
    // Before anything else of the TLS library is used, the trust file's
    // parsing included.
    PrepareTlsLibrary(settings.useTls);
    settings.userId = NarrowCopy(argv[4]);
    settings.password = NarrowCopy(argv[5]);
    settings.endpoint = MakeStatusEndpoint(argv[6], argv[7], settings.useTls);
    // Looked for once per run, and only when it could matter.
    if (settings.useTls) settings.trust = ReadServerTrust(argv[3]);
    return settings;
}

// The job log's first line: who runs which job, and where it reports.
void LogJobStart(WCHAR** argv, const StatusSettings& settings) {
    JobLog(LogType::Information,
           TEXT("PatchWorker %s started: process %u, update %s, mode deployment; reports go to %s://%s:%s as user %s"),
           kWorkerVersion, static_cast<unsigned>(GetCurrentProcessId()), argv[1],
           settings.useTls ? TEXT("https") : TEXT("http"), argv[6], argv[7], argv[4]);
}

// COM, then the deployment routine; the result as the routine gives it.
int Deploy(WCHAR** argv, DeployRoutine deploy, WCHAR* description) {
    const LogStopwatch comStart;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    JobLog(ResultType(SUCCEEDED(hr)), TEXT("COM start: hr 0x%X, %u ms"), hr, comStart.Milliseconds());
    if (FAILED(hr)) {
        return FailStep(description, StepLine(TEXT("Failed to initialize COM.\n")),
                        FailureText{hr, TEXT("Failed to initialize COM library. ")});
    }
    return deploy(argv[1], argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argv[8], argv[9], description);
}

// The outcome as the report will carry it.
void LogOutcome(const ns1__UpdateDeployJobStatus& request, const WCHAR* description) {
    if (request.nStatus == kStatusSucceeded) {
        JobLog(LogType::Information, TEXT("Outcome: succeeded, restart %s"),
               request.nRebootRequired ? TEXT("needed") : TEXT("not needed"));
    } else {
        JobLog(LogType::Error, TEXT("Outcome: failed: %s"), description);
    }
}

// Sends the job's report up to attempts times, each failure counted in its
// record and followed by the pause when pauseAfterFailure says so. A proxy
// without an endpoint (one that cannot be sent) sends nothing. True when
// the server acknowledged the report.
bool ReportOutcome(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request, JobOutcomeKeeper& keeper,
                   int attempts, bool pauseAfterFailure) {
    if (proxy.soap_endpoint == nullptr) {
        ConsolePrint(kUnsendableEndpoint);
        JobLog(LogType::Error, TEXT("Report not sent: %s"), kUnsendableEndpoint);
        return false;
    }
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const LogStopwatch attemptClock;
        WCHAR printed[kDescriptionCapacity] = {};
        if (!keeper.ReadyToSend()) {
            ConsolePrint(kReportHeldBack);
            JobLog(LogType::Warning, TEXT("Report attempt %d of %d: %s"), attempt + 1, attempts, kReportHeldBack);
        } else if (SendReport(proxy, request, printed)) {
            JobLog(LogType::Information, TEXT("Report attempt %d of %d to %S, %u ms: acknowledged"), attempt + 1,
                   attempts, proxy.soap_endpoint, attemptClock.Milliseconds());
            keeper.Acknowledged(proxy);
            return true;
        } else {
            JobLog(LogType::Error, TEXT("Report attempt %d of %d to %S, %u ms: %s"), attempt + 1, attempts,
                   proxy.soap_endpoint, attemptClock.Milliseconds(), printed);
        }
        keeper.AttemptFailed();
        if (pauseAfterFailure) Pause(kPauseAfterFailedReportMs);
    }
    return false;
}

}  // namespace

int RunDeployJob(WCHAR** argv) {
    return RunDeployJob(argv, ScanAndDownload);
}

int RunDeployJob(WCHAR** argv, DeployRoutine deploy) {
    const LogStopwatch jobClock;
    WCHAR description[kDescriptionCapacity] = {};
    const JobNumbers job{_wtoi(argv[2]), _wtoi(argv[8]), _wtoi(argv[9])};
    StartJobLog(OpenWorkerFolder(argv[3], TEXT("Logs")), WideString(TEXT("Job ")) + argv[2]);
    const StatusSettings settings = ReadStatusSettings(argv);
    LogJobStart(argv, settings);
    std::unique_ptr<veltwuaPortBindingProxy> proxy = MakeStatusProxy(settings);

    ns1__UpdateDeployJobStatus request;
    std::wstring reportText;
    // Kept on disk until acknowledged: first as interrupted, then the outcome.
    FillFailure(request, job, JobOutcomeKeeper::kInterruptedText, reportText);
    JobOutcomeKeeper keeper(argv[2], argv[3], request, settings);
    if (keeper.JobAlreadyRunning()) {
        // The job belongs to the worker that runs it: its report is the only
        // word the server gets, so this one sends nothing (a report of its
        // own could arrive after that worker's acknowledged outcome).
        ConsolePrint(TEXT("%s\n"), kAlreadyRunningText);
        JobLog(LogType::Warning, TEXT("%s Nothing deployed, nothing sent."), kAlreadyRunningText);
        proxy->destroy();
        StopJobLog();
        return 0;
    }
    bool acknowledged = false;
    try {
        const int result = Deploy(argv, deploy, description);
        FillOutcome(request, job, result, description, reportText);
        LogOutcome(request, description);
        keeper.OutcomeKnown(request);
        acknowledged = ReportOutcome(*proxy, request, keeper, kReportAttempts, true);
        proxy->soap_close_socket();
    } catch (...) {
        FailStep(description, StepLine(TEXT("Exception caught in main")), kUnknownError);
        FillFailure(request, job, description, reportText);
        LogOutcome(request, description);
        keeper.OutcomeKnown(request);
        acknowledged = ReportOutcome(*proxy, request, keeper, 1, false);
    }
    proxy->destroy();
    JobLog(ResultType(request.nStatus == kStatusSucceeded && acknowledged),
           TEXT("Job finished: %s, nStatus %d, %s, %u ms in all"),
           request.nStatus == kStatusSucceeded ? TEXT("succeeded") : TEXT("failed"), request.nStatus,
           acknowledged ? TEXT("report acknowledged") : TEXT("report not acknowledged"), jobClock.Milliseconds());
    StopJobLog();
    return 0;
}

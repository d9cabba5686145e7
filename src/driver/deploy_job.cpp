#include "driver/deploy_job.h"

#include <memory>
#include <string>

#include "deploy/scan_and_download.h"
#include "deploy/step_exit.h"
#include "driver/job_report.h"
#include "driver/narrow_text.h"
#include "errors/scan_error_codes.h"
#include "joblog/job_log.h"
#include "platform/console.h"
#include "platform/test_seams.h"
#include "platform/wide_string.h"
#include "spool/job_outcome_keeper.h"
#include "spool/spool_folder.h"
#include "status/report_text.h"
#include "status/status_endpoint.h"
#include "status/status_settings.h"
#include "status/tls_library.h"

namespace {

constexpr int kStatusSucceeded = 6;
constexpr int kStatusFailed = -6;

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
int Deploy(WCHAR** argv, WCHAR* description) {
    const LogStopwatch comStart;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    JobLog(ResultType(SUCCEEDED(hr)), TEXT("COM start: hr 0x%X, %u ms"), hr, comStart.Milliseconds());
    if (FAILED(hr)) {
        return FailStep(description, StepLine(TEXT("Failed to initialize COM.\n")),
                        FailureText{hr, TEXT("Failed to initialize COM library. ")});
    }
    const DeployRoutine deploy = Seams().deploy ? Seams().deploy : ScanAndDownload;
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

}  // namespace

int RunDeployJob(WCHAR** argv) {
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
    const SendJobReport sendReport = MakeJobReportSender(*proxy, settings);
    JobOutcomeKeeper keeper(argv[2], argv[3], request, sendReport);
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
        const int result = Deploy(argv, description);
        FillOutcome(request, job, result, description, reportText);
        LogOutcome(request, description);
        keeper.OutcomeKnown(request);
        acknowledged = sendReport(keeper, request, JobEnd::Outcome);
        proxy->soap_close_socket();
    } catch (...) {
        FailStep(description, StepLine(TEXT("Exception caught in main")), kUnknownError);
        FillFailure(request, job, description, reportText);
        LogOutcome(request, description);
        keeper.OutcomeKnown(request);
        acknowledged = sendReport(keeper, request, JobEnd::Exception);
    }
    proxy->destroy();
    JobLog(ResultType(request.nStatus == kStatusSucceeded && acknowledged),
           TEXT("Job finished: %s, nStatus %d, %s, %u ms in all"),
           request.nStatus == kStatusSucceeded ? TEXT("succeeded") : TEXT("failed"), request.nStatus,
           acknowledged ? TEXT("report acknowledged") : TEXT("report not acknowledged"), jobClock.Milliseconds());
    StopJobLog();
    return 0;
}

#include "driver/job_report.h"

#include "errors/scan_error_codes.h"
#include "joblog/job_log.h"
#include "platform/console.h"
#include "platform/test_seams.h"
#include "status/report_sending.h"

namespace {

constexpr int kReportAttempts = 5;
constexpr DWORD kPauseAfterFailedReportMs = 60000;

// Printed instead of the report when the endpoint cannot be sent as it is.
const WCHAR kUnsendableEndpoint[] = TEXT("Soap failure. The status server's host or port is not valid.");
// Printed instead of an attempt while the job's outcome could neither
// replace its older record in the spool nor remove it: were the outcome
// acknowledged, a later job would deliver that record after it.
const WCHAR kReportHeldBack[] =
    TEXT("The report is held back: an older record of this job could not be replaced or removed.");

// How the report goes out after each way of ending.
struct ReportWay {
    int attempts;
    bool pauseAfterFailure;
    // The time limit's report, sent beside the job's own thread: it prints
    // nothing, logs only its result, and ends without delivering earlier
    // records, as the process ends right after it.
    bool besideTheJob;
};

ReportWay WayAfter(JobEnd end) {
    switch (end) {
    case JobEnd::Outcome:
        return {kReportAttempts, true, false};
    case JobEnd::Exception:
        return {1, false, false};
    case JobEnd::TimeLimit:
        break;
    }
    return {1, false, true};
}

bool SendThrough(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request, JobOutcomeKeeper& keeper,
                 const ReportWay& way) {
    // Without an endpoint that can be sent the record waits for a later job.
    if (proxy.soap_endpoint == nullptr) {
        if (way.besideTheJob) return false;
        ConsolePrint(kUnsendableEndpoint);
        JobLog(LogType::Error, TEXT("Report not sent: %s"), kUnsendableEndpoint);
        return false;
    }
    for (int attempt = 0; attempt < way.attempts; ++attempt) {
        const LogStopwatch attemptClock;
        WCHAR printed[kDescriptionCapacity] = {};
        if (!keeper.ReadyToSend()) {
            if (way.besideTheJob) return false;
            ConsolePrint(kReportHeldBack);
            JobLog(LogType::Warning, TEXT("Report attempt %d of %d: %s"), attempt + 1, way.attempts, kReportHeldBack);
        } else if (way.besideTheJob) {
            const bool acknowledged = SendReportQuietly(proxy, request) == AttemptResult::Acknowledged;
            JobLog(ResultType(acknowledged), TEXT("Report of the time limit to %S: %s"), proxy.soap_endpoint,
                   acknowledged ? TEXT("acknowledged") : TEXT("not acknowledged, kept for a later job"));
            if (acknowledged) {
                keeper.Acknowledged(nullptr);
                return true;
            }
        } else if (SendReport(proxy, request, printed)) {
            JobLog(LogType::Information, TEXT("Report attempt %d of %d to %S, %u ms: acknowledged"), attempt + 1,
                   way.attempts, proxy.soap_endpoint, attemptClock.Milliseconds());
            keeper.Acknowledged(&proxy);
            return true;
        } else {
            JobLog(LogType::Error, TEXT("Report attempt %d of %d to %S, %u ms: %s"), attempt + 1, way.attempts,
                   proxy.soap_endpoint, attemptClock.Milliseconds(), printed);
        }
        keeper.AttemptFailed();
        if (way.pauseAfterFailure) Seams().pause(kPauseAfterFailedReportMs);
    }
    return false;
}

}  // namespace

SendJobReport MakeJobReportSender(veltwuaPortBindingProxy& jobProxy, const StatusSettings& settings) {
    return [&jobProxy, settings](JobOutcomeKeeper& keeper, ns1__UpdateDeployJobStatus& request, JobEnd end) {
        const ReportWay way = WayAfter(end);
        if (!way.besideTheJob) return SendThrough(jobProxy, request, keeper, way);
        const std::unique_ptr<veltwuaPortBindingProxy> ownProxy = MakeStatusProxy(settings);
        return SendThrough(*ownProxy, request, keeper, way);
    };
}

#include "spool/job_outcome_keeper.h"

#include "joblog/job_log.h"
#include "platform/test_seams.h"
#include "spool/last_error_kept.h"
#include "status/acknowledgement.h"
#include "status/report_sending.h"
#include "status/report_text.h"

const WCHAR JobOutcomeKeeper::kInterruptedText[] =
    TEXT("The deployment job ended before it could report its outcome (the worker was stopped or the machine ")
        TEXT("restarted).");
const WCHAR JobOutcomeKeeper::kTimeLimitText[] =
    TEXT("The deployment did not finish within 8 hours: the update agent did not return.");

namespace {

// What the spool did with the job's record, for the job log.
void LogRecordWrite(bool written, const WCHAR* what) {
    if (written)
        JobLog(LogType::Information, TEXT("Record written to the report spool: %s"), what);
    else
        JobLog(LogType::Warning, TEXT("Record not written to the report spool: %s"), what);
}

}  // namespace

JobOutcomeKeeper::JobOutcomeKeeper(LPCWSTR jobIdText, LPCWSTR drive, const ns1__UpdateDeployJobStatus& interrupted,
                                   SendJobReport sendReport)
    : started_(std::chrono::steady_clock::now()),
      spool_(jobIdText, drive),
      sendReport_(std::move(sendReport)) {
    if (spool_.JobAlreadyRunning()) return;
    // Without memory for the record or the watchdog the job runs as it would
    // without them.
    BesideTheJob([&] {
        record_.SetRequest(interrupted);
        record_.written = Seams().now();
        // The outcome's space first: a job whose interrupted record is on
        // the disk can always replace it, full disk or not. Without that
        // space the job keeps no interrupted record, which it might have to
        // remove before its outcome could be sent.
        const bool kept = spool_.ReserveSpace() && spool_.Write(record_);
        if (spool_.InUse()) LogRecordWrite(kept, TEXT("the job as interrupted, until it reports"));
        // The limit runs from the worker's start: the claim may have waited.
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count();
        const DWORD limit = Seams().jobTimeLimitMilliseconds(kTimeLimitMilliseconds);
        const DWORD left = waited >= limit ? 0 : limit - static_cast<DWORD>(waited);
        watchdog_ = std::make_unique<JobWatchdog>(left, [this] { ReportTimeLimitAndExit(); });
    });
}

JobOutcomeKeeper::~JobOutcomeKeeper() {
    watchdog_.reset();
    if (delivered_) return;
    BesideTheJob([&] { TidyAndDeliver(spool_, nullptr); });
}

void JobOutcomeKeeper::KeepChangedRecord() {
    if (!spool_.InUse()) return;
    record_.written = Seams().now();
    LogRecordWrite(spool_.Replace(record_), TEXT("the outcome"));
}

void JobOutcomeKeeper::OutcomeKnown(const ns1__UpdateDeployJobStatus& request) {
    BesideTheJob([&] {
        if (watchdog_) watchdog_->StopTimeLimit();
        record_.SetRequest(request);
        KeepChangedRecord();
    });
}

bool JobOutcomeKeeper::ReadyToSend() {
    BesideTheJob([&] {
        if (spool_.HoldsOnlyOlderRecords()) KeepChangedRecord();
    });
    return !spool_.HoldsOnlyOlderRecords();
}

void JobOutcomeKeeper::AttemptFailed() {
    BesideTheJob([&] {
        ++record_.attempts;
        // A count that cannot be written leaves the record with the same
        // outcome and a count behind.
        if (spool_.RecordWritten()) {
            record_.written = Seams().now();
            LogRecordWrite(spool_.Write(record_), TEXT("the outcome with its failed attempts counted"));
        }
    });
}

void JobOutcomeKeeper::Acknowledged(veltwuaPortBindingProxy* proxy) {
    delivered_ = true;
    BesideTheJob([&] {
        spool_.Remove();
        if (!proxy) return;
        KeepConnectionAlive(proxy);
        const SendPendingReport send = [proxy](ns1__UpdateDeployJobStatus& request) {
            const AttemptResult result = SendReportQuietly(*proxy, request);
            JobLog(result == AttemptResult::Acknowledged ? LogType::Information : LogType::Warning,
                   TEXT("Earlier job %d's record (nStatus %d): %s"), request.nJobID, request.nStatus,
                   result == AttemptResult::Acknowledged ? TEXT("delivered")
                   : result == AttemptResult::Refused    ? TEXT("refused by the server, passed over")
                                                         : TEXT("not delivered, the server could not be reached"));
            return result;
        };
        TidyAndDeliver(spool_, &send);
    });
}

// Runs on the watchdog's thread while the job's own thread is still inside
// the update agent.
void JobOutcomeKeeper::ReportTimeLimitAndExit() {
    BesideTheJob([&] {
        // The interrupted job's failure report with the time limit's text.
        record_.strErrorDescription = ToReportText(kTimeLimitText);
        JobLog(LogType::Error, TEXT("Time limit passed: %s"), kTimeLimitText);
        KeepChangedRecord();
        ns1__UpdateDeployJobStatus request;
        record_.FillRequest(request);
        if (sendReport_) sendReport_(*this, request, JobEnd::TimeLimit);
        JobLog(LogType::Error, TEXT("Job finished: failed, nStatus %d, at its time limit"), record_.nStatus);
    });
    ExitProcess(0);
}

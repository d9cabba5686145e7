// What makes a deployment job's outcome reach the server sooner or later:
// the job's record in the report spool, on the disk as "interrupted" before
// the job starts and as the outcome before the outcome is first sent, and
// the job's time limit. Records only ever replace older ones of the same
// job, so a power loss at any point leaves either what the server has not
// acknowledged yet or a report it has (sent once more): never a report older
// than one the server acknowledged. None of it prints, and none of it throws.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "spool/job_watchdog.h"
#include "spool/pending_delivery.h"
#include "spool/report_spool.h"
#include "status/status_proxy.h"

class JobOutcomeKeeper;

// How the job ended; its report goes out in the way that suits the end.
enum class JobEnd {
    Outcome,    // the deployment returned
    Exception,  // the deployment raised an exception
    TimeLimit,  // the time limit passed while the job's thread is still inside the update agent
};

// The one routine that sends the job's report, whichever way the job ended:
// through keeper, which counts its attempts and keeps its record. True when
// the server acknowledged it.
using SendJobReport = std::function<bool(JobOutcomeKeeper& keeper, ns1__UpdateDeployJobStatus& request, JobEnd end)>;

class JobOutcomeKeeper {
public:
    // Written before COM is started, in case the job never reports.
    static const WCHAR kInterruptedText[];
    // Reported when the job's time limit passes.
    static const WCHAR kTimeLimitText[];
    static constexpr DWORD kTimeLimitMilliseconds = 8 * 60 * 60 * 1000;

    // Claims the job in the spool of drive and, unless another worker runs
    // it, writes its record with interrupted (the job's failure report with
    // kInterruptedText) and starts the time limit, whose report goes out
    // through sendReport. jobIdText and drive are the command line's.
    JobOutcomeKeeper(LPCWSTR jobIdText, LPCWSTR drive, const ns1__UpdateDeployJobStatus& interrupted,
                     SendJobReport sendReport);
    // Keeps the spool within its bounds when the job's report was not
    // acknowledged (an acknowledged job did so as it delivered).
    ~JobOutcomeKeeper();

    JobOutcomeKeeper(const JobOutcomeKeeper&) = delete;
    JobOutcomeKeeper& operator=(const JobOutcomeKeeper&) = delete;

    // Another worker runs this job: this one must not deploy it, and keeps
    // nothing in the spool.
    bool JobAlreadyRunning() const { return spool_.JobAlreadyRunning(); }

    // The outcome is known: the time limit ends and the record becomes the
    // outcome. When it cannot, the job's older records are removed instead.
    void OutcomeKnown(const ns1__UpdateDeployJobStatus& request);
    // Whether the outcome may be sent: only while the spool holds no record
    // of the job older than it (tried again here), since an acknowledgement
    // followed by a later delivery of that record would undo the outcome.
    bool ReadyToSend();
    // A report attempt failed: the record counts it.
    void AttemptFailed();
    // The job's report was acknowledged: its records go, and the records
    // that earlier jobs left are sent through the same proxy when one is
    // given (the time limit's report ends the process instead).
    void Acknowledged(veltwuaPortBindingProxy* proxy);

private:
    // The record changed (the outcome, the time limit's text): it becomes
    // the job's newest record, or, when it cannot be written, the job's
    // older records, which no longer stand for it, are removed.
    void KeepChangedRecord();
    [[noreturn]] void ReportTimeLimitAndExit();

    std::chrono::steady_clock::time_point started_;
    ReportSpool spool_;
    ReportRecord record_;
    bool delivered_ = false;
    SendJobReport sendReport_;
    std::unique_ptr<JobWatchdog> watchdog_;
};

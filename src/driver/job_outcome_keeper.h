// What makes a deployment job's outcome reach the server sooner or later:
// the job's record in the report spool, written before the job starts as if
// it had been interrupted and rewritten once its outcome is known, and the
// job's time limit. The driver calls it at four points; none of it prints,
// and none of it throws.
#pragma once

#include <memory>

#include "driver/job_watchdog.h"
#include "driver/report_spool.h"
#include "status/report_record.h"
#include "status/status_proxy.h"

class JobOutcomeKeeper {
public:
    // Written before COM is started, in case the job never reports.
    static const WCHAR kInterruptedText[];
    // Reported when the job's time limit passes.
    static const WCHAR kTimeLimitText[];
    static constexpr DWORD kTimeLimitMilliseconds = 8 * 60 * 60 * 1000;
    // A written record reaches the disk within this time (unless a newer one
    // replaced it, or it was deleted, meanwhile): the job never waits for
    // the disk, and a power loss loses at most what was written this late.
    static constexpr DWORD kFlushGraceMilliseconds = 250;

    // Writes the job's record with interrupted (the job's failure report
    // with kInterruptedText) and starts the time limit and the record's
    // flushing. jobIdText and drive are the command line's. proxy must be
    // set up: the time limit's own report goes to the same endpoint with the
    // same credentials, whose texts must outlive this object.
    JobOutcomeKeeper(LPCWSTR jobIdText, LPCWSTR drive, const ns1__UpdateDeployJobStatus& interrupted,
                     const veltwuaPortBindingProxy& proxy);
    // Ends the flushing at once; a record still not on the disk (the job
    // ends without an acknowledgement) is flushed before this returns.
    ~JobOutcomeKeeper();

    JobOutcomeKeeper(const JobOutcomeKeeper&) = delete;
    JobOutcomeKeeper& operator=(const JobOutcomeKeeper&) = delete;

    // The outcome is known: the time limit ends and the record holds request.
    void OutcomeKnown(const ns1__UpdateDeployJobStatus& request);
    // A report attempt failed: the record counts it, and is on the disk
    // when this returns, as the worker pauses or ends next.
    void AttemptFailed();
    // The job's report was acknowledged: its record goes, and the records
    // that earlier jobs left are sent through the same proxy.
    void Acknowledged(veltwuaPortBindingProxy& proxy);

private:
    // How the proxy was set up, for the time limit's own proxy.
    struct ProxySettings {
        const char* userId;
        const char* password;
        const char* endpoint;
        int connectTimeout;
        int sendTimeout;
        int receiveTimeout;
        int transferTimeout;
    };

    // Writes the record; Flush or FlushLater then puts it on the disk.
    void Write();
    // Tidies the spool, on the watchdog's thread so that the job need not wait.
    void RemoveBeyondBounds();
    // Waits until the record is on the disk.
    void Flush();
    // Has the watchdog's thread flush the record within the grace (or
    // flushes it now when there is no such thread).
    void FlushLater();
    [[noreturn]] void ReportTimeLimitAndExit();

    ReportSpool spool_;
    ReportRecord record_;
    ProxySettings settings_;
    std::unique_ptr<JobWatchdog> watchdog_;
};

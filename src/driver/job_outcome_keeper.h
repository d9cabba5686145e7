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

    // Writes the job's record with interrupted (the job's failure report
    // with kInterruptedText) and starts the time limit. jobIdText and drive
    // are the command line's. proxy must be set up: the time limit's own
    // report goes to the same endpoint with the same credentials, whose
    // texts must outlive this object.
    JobOutcomeKeeper(LPCWSTR jobIdText, LPCWSTR drive, const ns1__UpdateDeployJobStatus& interrupted,
                     const veltwuaPortBindingProxy& proxy);
    ~JobOutcomeKeeper();

    JobOutcomeKeeper(const JobOutcomeKeeper&) = delete;
    JobOutcomeKeeper& operator=(const JobOutcomeKeeper&) = delete;

    // The outcome is known: the time limit ends and the record holds request.
    void OutcomeKnown(const ns1__UpdateDeployJobStatus& request);
    // A report attempt failed: the record counts it.
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

    void Write();
    [[noreturn]] void ReportTimeLimitAndExit();

    ReportSpool spool_;
    ReportRecord record_;
    ProxySettings settings_;
    std::unique_ptr<JobWatchdog> watchdog_;
};

#include "driver/job_outcome_keeper.h"

#include <cstring>

#include "driver/last_error_kept.h"
#include "status/report_text.h"
#include "status/tls_client.h"

const WCHAR JobOutcomeKeeper::kInterruptedText[] =
    TEXT("The deployment job ended before it could report its outcome (the worker was stopped or the machine ")
        TEXT("restarted).");
const WCHAR JobOutcomeKeeper::kTimeLimitText[] =
    TEXT("The deployment did not finish within 8 hours: the update agent did not return.");

JobOutcomeKeeper::JobOutcomeKeeper(LPCWSTR jobIdText, LPCWSTR drive, const ns1__UpdateDeployJobStatus& interrupted,
                                   const veltwuaPortBindingProxy& proxy)
    : spool_(jobIdText, drive), settings_{proxy.userid,          proxy.passwd,       proxy.soap_endpoint,
                                          proxy.connect_timeout, proxy.send_timeout, proxy.recv_timeout,
                                          proxy.transfer_timeout} {
    LastErrorKept lastError;
    try {
        record_.SetRequest(interrupted);
        Write();
        watchdog_ = std::make_unique<JobWatchdog>(
            JobTimeLimitMilliseconds(kTimeLimitMilliseconds), [this] { RemoveBeyondBounds(); },
            [this] { ReportTimeLimitAndExit(); }, [this] { Flush(); });
    } catch (...) {
        // Without memory for the record or the watchdog the job runs as it
        // would without them.
    }
    FlushLater();
}

JobOutcomeKeeper::~JobOutcomeKeeper() {
    watchdog_.reset();
    // Done already, unless there was no watchdog to do it.
    RemoveBeyondBounds();
    Flush();
}

void JobOutcomeKeeper::RemoveBeyondBounds() {
    try {
        spool_.RemoveBeyondBounds();
    } catch (...) {
    }
}

void JobOutcomeKeeper::Flush() {
    try {
        spool_.MakeDurable();
    } catch (...) {
    }
}

void JobOutcomeKeeper::FlushLater() {
    if (!spool_.InUse()) return;
    try {
        if (watchdog_ && watchdog_->FlushWithin(SpoolFlushGraceMilliseconds(kFlushGraceMilliseconds))) return;
    } catch (...) {
    }
    Flush();
}

void JobOutcomeKeeper::Write() {
    record_.written = std::time(nullptr);
    spool_.Write(record_);
}

void JobOutcomeKeeper::OutcomeKnown(const ns1__UpdateDeployJobStatus& request) {
    try {
        if (watchdog_) watchdog_->StopTimeLimit();
        record_.SetRequest(request);
        Write();
        FlushLater();
    } catch (...) {
    }
}

void JobOutcomeKeeper::AttemptFailed() {
    try {
        ++record_.attempts;
        Write();
        Flush();
    } catch (...) {
    }
}

void JobOutcomeKeeper::Acknowledged(veltwuaPortBindingProxy& proxy) {
    try {
        spool_.Remove();
        spool_.DeliverPending(proxy);
    } catch (...) {
    }
}

// Runs on the watchdog's thread while the job's own thread is still inside
// the update agent: it has a proxy of its own, as a runtime context is not
// shared between threads.
void JobOutcomeKeeper::ReportTimeLimitAndExit() {
    try {
        // The interrupted job's failure report with the time limit's text.
        record_.strErrorDescription = ToReportText(kTimeLimitText);
        Write();
        Flush();
        // Without an endpoint that can be sent the record waits for a later job.
        if (settings_.endpoint == nullptr) ExitProcess(0);
        veltwuaPortBindingProxy proxy(settings_.userId, settings_.password);
        proxy.connect_timeout = settings_.connectTimeout;
        proxy.send_timeout = settings_.sendTimeout;
        proxy.recv_timeout = settings_.receiveTimeout;
        proxy.transfer_timeout = settings_.transferTimeout;
        proxy.soap_endpoint = settings_.endpoint;
        if (settings_.endpoint && std::strncmp(settings_.endpoint, "https:", 6) == 0)
            SetUpUnauthenticatedTlsClient(&proxy);
        ns1__UpdateDeployJobStatus request;
        record_.FillRequest(request);
        if (proxy.UpdateDeployJobStatus(&request) == SOAP_OK)
            spool_.Remove();
        else
            AttemptFailed();
    } catch (...) {
    }
    ExitProcess(0);
}

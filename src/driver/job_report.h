// The job's status report: the one routine that sends it, whichever way the
// job ends (its outcome, an exception, its time limit).
#pragma once

#include "spool/job_outcome_keeper.h"
#include "status/status_proxy.h"
#include "status/status_settings.h"

// The routine for the job whose proxy is jobProxy and whose server settings
// are settings (copied). After the job's outcome the report has up to five
// attempts, each failure followed by the pause; after an exception one. Both
// go through jobProxy, print each attempt's line, and on the acknowledgement
// deliver the records that earlier jobs left. At the time limit, on the
// limit's thread while the job's own thread is still inside the update
// agent, the report has one attempt through a proxy of its own (a runtime
// context is not shared between threads) and prints nothing. A proxy without
// an endpoint (one that cannot be sent) sends nothing. Every failed attempt
// is counted in the job's record.
SendJobReport MakeJobReportSender(veltwuaPortBindingProxy& jobProxy, const StatusSettings& settings);

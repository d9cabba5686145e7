// One attempt to send a job's status report.
#pragma once

#include "status/attempt_result.h"
#include "status/status_proxy.h"

// The job's own report: printed as "Success" or with the proxy's fault text
// (made safe for the console). True when the server acknowledged it.
bool SendReport(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request);

// A report that the job sends for another (a pending record, its time
// limit's report): nothing is printed.
AttemptResult SendReportQuietly(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request);

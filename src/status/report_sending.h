// One attempt to send a job's status report.
#pragma once

#include "status/attempt_result.h"
#include "platform/platform.h"
#include "status/status_proxy.h"

// The job's own report: printed as "Success" or with the proxy's fault text
// (made safe for the console). True when the server acknowledged it. A
// failure's printed line is also written into printed (kDescriptionCapacity
// characters) when it is given.
bool SendReport(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request, WCHAR* printed = nullptr);

// A report that the job sends for another (a pending record, its time
// limit's report): nothing is printed.
AttemptResult SendReportQuietly(veltwuaPortBindingProxy& proxy, ns1__UpdateDeployJobStatus& request);

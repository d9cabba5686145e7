// The deployment job: from its 11-entry command line to its status report.
#pragma once

#include "platform/platform.h"

// Runs the job of argv (11 entries) and reports its outcome to the status
// server, at most five times, 60000 ms apart. Returns 0 in every case.
int RunDeployJob(WCHAR** argv);

// The deployment job: from its 11-entry command line to its status report.
#pragma once

#include "platform/platform.h"

int RunDeployJob(WCHAR** argv);

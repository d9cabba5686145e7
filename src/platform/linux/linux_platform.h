// The Linux substitute of the Windows API that the worker uses. Every call
// keeps its Windows name, arguments and results, so the code above the
// platform layer is one source for both platforms. Each group of calls has
// its own header; this one gathers them.
#pragma once

#include "win_types.h"
#include "base_api.h"
#include "com_api.h"
#include "wuapi.h"
#include "file_api.h"
#include "process_api.h"
#include "session_api.h"
#include "platform/platform_extras.h"

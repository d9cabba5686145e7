// The one place that knows which platform it is built for. Everything above
// the platform layer includes this header and uses the Windows API names.
#pragma once

#ifdef _WIN32
#include "win/win_platform.h"
#else
#include "linux/linux_platform.h"
#endif

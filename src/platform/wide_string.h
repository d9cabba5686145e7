// The worker's one name for a wide text that it owns: UTF-16 units on both
// platforms, as the Windows API takes them.
#pragma once

#include <string>

#include "platform/platform.h"

using WideString = std::basic_string<WCHAR>;

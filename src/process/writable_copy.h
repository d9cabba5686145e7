// Writable copies of texts for the process-creation calls, which may write
// into the command line they are given.
#pragma once

#include <vector>

#include "platform/platform.h"

// A terminated copy of text; an absent text gives an empty one. Exhausted
// memory goes to the caller as the COM error for it (0x8007000E).
std::vector<WCHAR> WritableCopy(LPCWSTR text);

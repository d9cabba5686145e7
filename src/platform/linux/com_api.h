// COM runtime and OLE automation as far as the worker uses them.
#pragma once

#include "win_types.h"

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

// Succeeds unless the environment variable WORKER_COINIT_RESULT names a
// result code (decimal or 0x-hexadecimal), which is then returned: that is how
// tests make the COM start-up fail.
HRESULT CoInitializeEx(void* reserved, DWORD coInit);

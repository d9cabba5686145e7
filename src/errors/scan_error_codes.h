// English descriptions of the result codes that deployment steps meet.
#pragma once

#include "platform/platform.h"

// Fills description (1024 wide characters, cleared by the caller) with the
// text of code: the table's row, or the system's message text behind the code
// in parentheses. The buffer stays empty only when the system lookup raised
// an exception. Allocates nothing.
void GetScanErrorCodes(DWORD code, WCHAR* description);

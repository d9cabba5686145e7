// The system message table as GetScanErrorCodes asks it for a code's text.
// The default is the platform's FormatMessageW; tests put their own lookup in
// its place to return overlong texts or to raise an exception.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Writes the system's text for code into buffer (capacity in wide characters,
// terminator included); returns the number of characters written, 0 when
// there is none.
using SystemMessageFunction = DWORD (*)(DWORD code, WCHAR* buffer, DWORD capacity);

// Puts lookup in place (null restores the default) and returns the previous one.
SystemMessageFunction SetSystemMessageFunction(SystemMessageFunction lookup);

// The system's text for code through the lookup in place, as one line: its
// line ends and other control characters as blanks, the blanks at its end
// dropped. Writes into buffer (capacity wide characters, terminator
// included) and returns the length; 0, an empty text, when the system has
// none or the lookup raised an exception.
std::size_t GetSystemMessageLine(DWORD code, WCHAR* buffer, std::size_t capacity);

// English descriptions of the result codes that deployment steps meet.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// The job's description buffer in wide characters, terminator included: the
// driver owns one, and every routine that describes a failure writes into it.
constexpr std::size_t kDescriptionCapacity = 1024;

// Fills description (kDescriptionCapacity wide characters, cleared by the
// caller) with the text of code: the table's row, or the system's message
// text behind the code in parentheses. The buffer stays empty only when the
// system lookup raised an exception. Allocates nothing.
void GetScanErrorCodes(DWORD code, WCHAR* description);

// The failure text of a code: prefix, then "Error description:" and the
// code's text from GetScanErrorCodes, or "Error code: 0x" and the code when
// that text is empty. Replaces what description (kDescriptionCapacity wide
// characters) held, cut at its last character.
void WriteFailureText(DWORD code, WCHAR* description, const WCHAR* prefix = TEXT(""));

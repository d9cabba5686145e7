// The error-code description table, generated at build time from
// error_codes.tsv: every distinct text stored once, found through a perfect
// hash of the code.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// The row's text for code, or null when the table has no row for it; the
// first form also gives the text's length in characters, terminator not
// counted.
const WCHAR* FindErrorCodeText(DWORD code, std::size_t& length);
const WCHAR* FindErrorCodeText(DWORD code);

// The table's codes in ascending order, for listing the whole table.
std::size_t ErrorCodeTableSize();
DWORD ErrorCodeTableCode(std::size_t index);  // 0 beyond the end

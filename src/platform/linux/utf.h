// UTF-8 and UTF-16 conversions of the Linux substitute: the command line and
// narrow text arrive as UTF-8, the worker works in UTF-16.
#pragma once

#include <cstddef>
#include <string>

#include "win_types.h"

std::size_t WideLengthOf(const WCHAR* text);
// Converts length units; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const WCHAR* text, std::size_t length);
// Converts length bytes; a byte that is not part of a well-formed sequence
// becomes U+FFFD.
std::u16string Utf8ToUtf16(const char* text, std::size_t length);

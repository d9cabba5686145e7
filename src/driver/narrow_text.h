// Narrow copies of command-line text for the status client.
#pragma once

#include <memory>

#include "platform/platform.h"

using NarrowText = std::unique_ptr<char[]>;

// The text in the thread's ANSI code page, terminator included; null for an
// absent text or one that cannot be converted.
NarrowText ToNarrow(const WCHAR* text);

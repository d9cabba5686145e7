// Text for the status report's XML.
#pragma once

#include <string>

#include "platform/platform.h"

// The report's copy of a description, in the runtime's wide-character form.
// Characters that XML 1.0 cannot carry (control characters other than tab,
// line feed and carriage return, unpaired surrogates, U+FFFE and U+FFFF) are
// replaced by U+FFFD, so that the server's parser never rejects a report.
std::wstring ToReportText(const WCHAR* text);

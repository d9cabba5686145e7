// Text that crosses the status report's channel: the report's description
// on its way out, the server's fault text on its way to the console, the host
// and port that go into the request, and XML from outside on its way into the
// runtime.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

// The report's copy of a description, in the runtime's wide-character form.
// Characters that XML 1.0 cannot carry (control characters other than tab,
// line feed and carriage return, unpaired surrogates, U+FFFE and U+FFFF) are
// replaced by U+FFFD, so that the server's parser never rejects a report.
std::wstring ToReportText(const WCHAR* text);

// Whether a description is one ToReportText can give: none of the characters
// it replaces. The runtime reads character references into any value, and
// writes those it should not carry as bytes it then does not read back.
bool IsReportText(const std::wstring& text);

// The server's fault text as the console shows it, written into text
// (capacity characters, terminator included): read as UTF-8 (as the runtime
// gives it), every sequence that is not well-formed read as U+FFFD, and
// every control character (C0, DEL and C1) and line or paragraph separator
// (U+2028, U+2029) replaced by a blank, so that a server can neither write
// console lines of its own nor flood the console. The text is cut before the
// first character that does not fit whole: a character beyond U+FFFF is
// never split. A null fault text reads "(null)", as it is printed.
void ToConsoleFaultText(const char* faultText, WCHAR* text, std::size_t capacity);

// Whether a host can go into the endpoint as it is: white space or a
// control character would change the request line or the Host header, and
// a slash, a backslash, "?", "#" or "@" the server or the path that the
// report goes to.
bool IsSendableEndpointPart(const WCHAR* text);

// Whether bytes are well-formed UTF-8: every sequence complete, in its
// shortest form, and neither a surrogate nor beyond U+10FFFF. Every record
// this worker writes is (its text passed ToReportText); the runtime reads
// other bytes leniently, into characters it does not write back the same.
bool IsWellFormedUtf8(const std::string& bytes);

// One line of the job log in the CMTrace format that endpoint administrators
// read with their own viewers:
//   <![LOG[text]LOG]!><time="HH:MM:SS.mmm+000" date="MM-DD-YYYY"
//   component="PatchWorker" context="" type="1" thread="4242" file="">
// followed by CR LF, as Windows text files end their lines. Pure routines:
// nothing here touches a file or a clock.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/platform.h"
#include "platform/wide_string.h"

// How a line is shown: information, warning or error (CMTrace's type).
enum class LogType { Information = 1, Warning = 2, Error = 3 };

// The most UTF-16 units a line's text keeps.
inline constexpr std::size_t kLogTextCapacity = 1023;

// The text as a line can carry it: every control character (C0, DEL, C1)
// and line or paragraph separator (U+2028, U+2029) a blank, so that nothing
// ends the line early; an unpaired surrogate U+FFFD, so that the UTF-8 is
// well formed; the ">" of every "]LOG]!>" a blank, so that a viewer finds
// the text's end where the line puts it. Cut after kLogTextCapacity units,
// never inside a surrogate pair.
WideString CleanLogText(const WCHAR* text, std::size_t length);

// A moment in UTC, as a line shows it.
struct LogTime {
    int year, month, day, hour, minute, second, millisecond;
};
LogTime ToLogTime(std::chrono::system_clock::time_point moment);

// The whole line in UTF-8, its text cleaned by CleanLogText, ended by CR LF.
std::string FormatLogLine(const WCHAR* text, std::size_t length, const LogTime& time, LogType type, DWORD thread);

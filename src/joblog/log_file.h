// The log file of every job of the machine, PatchWorker.log in the Logs
// folder, opened for appending with full sharing: an administrator reads it
// while a job runs, and two workers at once each add whole lines (every
// line is one write at the file's end). A log at or beyond its bound when a
// job opens it becomes PatchWorker.lo_, replacing the one before, and a new
// log begins: at most twice the bound on the machine.
#pragma once

#include <string>

#include "joblog/log_line.h"
#include "platform/scoped_resource.h"
#include "platform/wide_string.h"

inline constexpr unsigned long long kLogRotationBytes = 2ull * 1024 * 1024;
inline constexpr WCHAR kLogFileName[] = TEXT("PatchWorker.log");
inline constexpr WCHAR kRotatedLogFileName[] = TEXT("PatchWorker.lo_");

class LogFile {
public:
    // Opens the log in folder (a path without the trailing backslash),
    // rotating it first when it has grown to rotationBytes. A log that
    // cannot be opened leaves the file closed: its lines are passed over.
    explicit LogFile(const WideString& folder, unsigned long long rotationBytes = kLogRotationBytes);

    bool IsOpen() const { return static_cast<bool>(file_); }
    // Appends the bytes of whole lines in one write. A failure is passed
    // over: the log never changes what the job does.
    void Append(const std::string& lines);

private:
    ScopedHandle file_;
};

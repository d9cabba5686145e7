// The job log of this process: one line per event, written as it happens
// (no flush per line), each text headed by the job it belongs to ("Job
// 1003: ", "Reminder: "). Logging never changes the job: a log that is not
// started or cannot be written passes every line over, and no call throws
// or changes the last-error code.
#pragma once

#include <chrono>

#include "joblog/log_line.h"
#include "platform/text_format.h"
#include "platform/wide_string.h"
#include "worker_version.h"

// The version of the worker that the first line of a job names: the build's.
inline constexpr WCHAR kWorkerVersion[] = TEXT(WORKER_VERSION);

// Starts the log in folder (empty: no log) for lines headed by "<subject>: ".
void StartJobLog(const WideString& folder, const WideString& subject);
// Closes the log; later lines are passed over.
void StopJobLog();

void JobLogList(LogType type, const WCHAR* format, const FormatArg* args, std::size_t count);

// One line, formatted as the console's lines are.
template <typename... A>
void JobLog(LogType type, const WCHAR* format, A... args) {
    const FormatArg list[] = {MakeFormatArg(args)..., FormatArg{}};
    JobLogList(type, format, list, sizeof...(A));
}

// The type of a line about a call's result: an error unless it succeeded.
inline LogType ResultType(bool succeeded) {
    return succeeded ? LogType::Information : LogType::Error;
}

// How long a step took, for its line.
class LogStopwatch {
public:
    LogStopwatch() : start_(std::chrono::steady_clock::now()) {}
    unsigned Milliseconds() const {
        return static_cast<unsigned>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count());
    }

private:
    std::chrono::steady_clock::time_point start_;
};

#include "joblog/job_log.h"

#include <memory>
#include <mutex>

#include "joblog/log_file.h"
#include "platform/wide_string.h"
#include "spool/last_error_kept.h"

namespace {

// A sink that gathers a line's formatted text.
class TextSink : public FormatSink {
public:
    explicit TextSink(WideString& text) : text_(text) {}
    void Append(const WCHAR* text, std::size_t length) override { text_.append(text, length); }

private:
    WideString& text_;
};

// The job's log: lines come from the job's thread and from its time limit's.
struct JobLogState {
    std::mutex lock;
    std::unique_ptr<LogFile> file;
    WideString heading;
};

JobLogState& State() {
    static JobLogState state;
    return state;
}

}  // namespace

void StartJobLog(const WideString& folder, const WideString& subject) {
    LastErrorKept lastError;
    try {
        JobLogState& state = State();
        std::lock_guard<std::mutex> hold(state.lock);
        state.file = std::make_unique<LogFile>(folder);
        state.heading = subject + TEXT(": ");
    } catch (...) {
    }
}

void StopJobLog() {
    LastErrorKept lastError;
    JobLogState& state = State();
    std::lock_guard<std::mutex> hold(state.lock);
    state.file.reset();
}

void JobLogList(LogType type, const WCHAR* format, const FormatArg* args, std::size_t count) {
    LastErrorKept lastError;
    try {
        JobLogState& state = State();
        std::lock_guard<std::mutex> hold(state.lock);
        if (!state.file || !state.file->IsOpen()) return;
        WideString text = state.heading;
        TextSink sink(text);
        FormatToSink(sink, format, args, count);
        state.file->Append(FormatLogLine(text.data(), text.size(), ToLogTime(std::chrono::system_clock::now()), type,
                                         GetCurrentThreadId()));
    } catch (...) {
    }
}

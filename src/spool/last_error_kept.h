// The job's console prints the thread's last error after some update-agent
// calls: work that the job adds around them (the report spool, its time
// limit) leaves that value as it found it.
#pragma once

#include "platform/platform.h"

class LastErrorKept {
public:
    LastErrorKept() : saved_(GetLastError()) {}
    ~LastErrorKept() { SetLastError(saved_); }
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;

private:
    DWORD saved_;
};

// Runs work that the job adds beside its own (keeping its record, its time
// limit's report): with the thread's last error kept, and without letting an
// exception (exhausted memory) reach the job, which then goes on as it would
// without that work.
template <typename Work>
void BesideTheJob(Work&& work) noexcept {
    LastErrorKept lastError;
    try {
        work();
    } catch (...) {
    }
}

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

// The process's and the thread's numbers (see process_api.h).
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/platform.h"

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

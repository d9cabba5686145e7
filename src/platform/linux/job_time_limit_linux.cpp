#include <cstdlib>

#include "../platform.h"

// The caller's limit unless WORKER_JOB_TIME_LIMIT_MS gives one for tests.
DWORD JobTimeLimitMilliseconds(DWORD limit) {
    if (const char* value = std::getenv("WORKER_JOB_TIME_LIMIT_MS")) {
        char* end = nullptr;
        unsigned long milliseconds = std::strtoul(value, &end, 10);
        if (end != value && *end == '\0' && milliseconds <= 0xFFFFFFFEul) return static_cast<DWORD>(milliseconds);
    }
    return limit;
}

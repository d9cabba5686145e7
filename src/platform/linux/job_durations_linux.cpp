// The duration of a deployment job that tests shorten: its time limit (see
// platform_extras.h).
#include <cstdlib>

#include "platform/platform.h"

namespace {

// The milliseconds that the environment variable name gives for tests, or
// fallback without it.
DWORD MillisecondsFromEnvironment(const char* name, DWORD fallback) {
    if (const char* value = std::getenv(name)) {
        char* end = nullptr;
        unsigned long milliseconds = std::strtoul(value, &end, 10);
        if (end != value && *end == '\0' && milliseconds <= 0xFFFFFFFEul) return static_cast<DWORD>(milliseconds);
    }
    return fallback;
}

}  // namespace

DWORD JobTimeLimitMilliseconds(DWORD limit) {
    return MillisecondsFromEnvironment("WORKER_JOB_TIME_LIMIT_MS", limit);
}

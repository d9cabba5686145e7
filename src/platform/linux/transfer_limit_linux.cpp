#include <cstdlib>

#include "../platform.h"

// 120 seconds, as on Windows, unless WORKER_TRANSFER_TIMEOUT gives a shorter
// limit for tests of a server that never answers.
int StatusTransferTimeoutSeconds() {
    if (const char* value = std::getenv("WORKER_TRANSFER_TIMEOUT")) {
        int seconds = std::atoi(value);
        if (seconds > 0) return seconds;
    }
    return 120;
}

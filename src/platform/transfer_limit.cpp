#include <cstdlib>

#include "platform/platform.h"

namespace {

// The product's limit: a report attempt that sends or receives nothing for
// two minutes, or has not ended after two minutes, has failed, like one whose
// connection takes that long.
constexpr int kProductLimitSeconds = 120;

}  // namespace

// The product's limit, unless WORKER_TRANSFER_TIMEOUT holds a whole number of
// seconds below it (decimal digits only), for tests of a server that never
// ends its reply. Anything else in the variable (a larger number, zero, a
// sign, text after the digits) leaves the product's limit: the variable can
// shorten the attempt, never lengthen it.
int StatusTransferTimeoutSeconds() {
    const char* value = std::getenv("WORKER_TRANSFER_TIMEOUT");
    if (value == nullptr || *value == 0) return kProductLimitSeconds;
    int seconds = 0;
    for (const char* c = value; *c != 0; ++c) {
        if (*c < '0' || *c > '9') return kProductLimitSeconds;
        seconds = seconds * 10 + (*c - '0');
        if (seconds >= kProductLimitSeconds) return kProductLimitSeconds;
    }
    return seconds > 0 ? seconds : kProductLimitSeconds;
}

// The duration of a deployment job, as the product gives it (see
// platform_extras.h).
#include "platform/platform.h"

// The product's limit, as the caller gives it.
DWORD JobTimeLimitMilliseconds(DWORD limit) {
    return limit;
}

// The durations of a deployment job, as the product gives them (see
// platform_extras.h).
#include "../platform.h"

// The product's limit, as the caller gives it.
DWORD JobTimeLimitMilliseconds(DWORD limit) {
    return limit;
}

// The product's grace, as the caller gives it.
DWORD SpoolFlushGraceMilliseconds(DWORD grace) {
    return grace;
}

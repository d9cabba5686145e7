#include "../platform.h"

// The product's limit, as the caller gives it.
DWORD JobTimeLimitMilliseconds(DWORD limit) {
    return limit;
}

// The product's grace, as the caller gives it.
DWORD SpoolFlushGraceMilliseconds(DWORD grace) {
    return grace;
}

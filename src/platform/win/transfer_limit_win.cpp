#include "../platform.h"

// The product's limit: a report attempt that sends or receives nothing for
// two minutes, or has not ended after two minutes, has failed, like one whose
// connection takes that long.
int StatusTransferTimeoutSeconds() {
    return 120;
}

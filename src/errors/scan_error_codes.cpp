#include "errors/scan_error_codes.h"

// Placeholder until the description table is built: no description, so
// callers report the bare code.
void GetScanErrorCodes(DWORD, WCHAR* description) {
    description[0] = 0;
}

#include "deploy/scan_and_download.h"

#include "platform/text_format.h"

// Stands in until the update agent is wired in: every job fails with a
// description that says so, and nothing is ever reported as installed.
int ScanAndDownload(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                    WCHAR* description) {
    FormatTruncatedN(description, 1024, TEXT("Patch deployment is not available in this build."));
    return -1;
}

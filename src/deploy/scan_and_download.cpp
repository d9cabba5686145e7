#include "deploy/scan_and_download.h"

#include "deploy/patch_deployment.h"
#include "errors/scan_error_codes.h"
#include "platform/console.h"
#include "platform/drive_letter.h"
#include "platform/text_format.h"

namespace {

// The search criteria live in 260 characters; the fixed part takes 31 of them
// and the terminator one, which leaves 228 for the update identifier.
constexpr std::size_t kMaxUpdateIdLength = 228;

// Refuses an update identifier that the search criteria cannot hold as it
// stands: one that would be cut, or one whose quote would end the quoted
// identifier and change the search. Writes the reason into description.
bool IsUsableUpdateId(const WCHAR* updateId, WCHAR* description) {
    if (updateId == nullptr) {
        FormatTruncatedN(description, kDescriptionCapacity, TEXT("Invalid update identifier: none was given."));
        return false;
    }
    std::size_t length = 0;
    for (const WCHAR* c = updateId; *c != 0; ++c, ++length) {
        if (*c == TEXT('\'')) {
            FormatTruncatedN(description, kDescriptionCapacity,
                             TEXT("Invalid update identifier: it contains a quote ('), which is not allowed."));
            return false;
        }
    }
    if (length > kMaxUpdateIdLength) {
        FormatTruncatedN(description, kDescriptionCapacity,
                         TEXT("Invalid update identifier: it is %u characters long, at most %u are allowed."),
                         static_cast<unsigned>(length), static_cast<unsigned>(kMaxUpdateIdLength));
        return false;
    }
    return true;
}

// Refuses a drive argument that is not a drive letter: the scan package, the
// job folder and the installer's package are all found below <drive>:\ORV.
bool IsUsableDrive(const WCHAR* drive, WCHAR* description) {
    if (IsDriveLetter(drive)) return true;
    FormatTruncatedN(description, kDescriptionCapacity, TEXT("Invalid drive: it must be a single letter from A to Z."));
    return false;
}

}  // namespace

int ScanAndDownload(LPCWSTR updateId, LPCWSTR jobId, LPCWSTR driveLetter, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                    LPCWSTR, WCHAR* description) {
    if (!IsUsableUpdateId(updateId, description) || !IsUsableDrive(driveLetter, description)) {
        return -1;
    }
    PatchDeployment deployment(updateId, jobId, driveLetter, description);
    try {
        return deployment.Run();
    } catch (...) {
        ConsolePrint(TEXT("\nException in ScanAndDownload"));
        if (description[0] == 0) {
            FormatTruncatedN(description, kDescriptionCapacity, TEXT("Unknown error."));
        }
        // Whatever the interrupted step still held goes back to the agent.
        deployment.ReleaseRemaining();
        return -1;
    }
}

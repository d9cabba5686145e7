#include "deploy/scan_and_download.h"

#include "deploy/patch_deployment.h"
#include "platform/drive_letter.h"

namespace {

// The search criteria live in 260 characters; the fixed part takes 31 of them
// and the terminator one, which leaves 228 for the update identifier.
constexpr std::size_t kMaxUpdateIdLength = 228;

// Refuses arguments that the deployment cannot take as they stand; kGoOn
// when it can. An update identifier is refused when the search criteria
// cannot hold it as it stands: one that would be cut, or one whose quote
// would end the quoted identifier and change the search. A drive argument is
// refused when it is not a drive letter: the scan package, the job folder and
// the installer's package are all found below <drive>:\ORV.
StepResult CheckArguments(const WCHAR* updateId, const WCHAR* drive, WCHAR* description) {
    if (updateId == nullptr) {
        return FailStep(description, StepText(TEXT("Invalid update identifier: none was given.")));
    }
    std::size_t length = 0;
    for (const WCHAR* c = updateId; *c != 0; ++c, ++length) {
        if (*c == TEXT('\'')) {
            return FailStep(
                description,
                StepText(TEXT("Invalid update identifier: it contains a quote ('), which is not allowed.")));
        }
    }
    if (length > kMaxUpdateIdLength) {
        return FailStep(description,
                        StepText(TEXT("Invalid update identifier: it is %u characters long, at most %u are allowed."),
                                 static_cast<unsigned>(length), static_cast<unsigned>(kMaxUpdateIdLength)));
    }
    if (!IsDriveLetter(drive)) {
        return FailStep(description, StepText(TEXT("Invalid drive: it must be a single letter from A to Z.")));
    }
    return kGoOn;
}

}  // namespace

int ScanAndDownload(LPCWSTR updateId, LPCWSTR jobId, LPCWSTR driveLetter, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                    LPCWSTR, WCHAR* description) {
    if (const StepResult refused = CheckArguments(updateId, driveLetter, description)) {
        return *refused;
    }
    PatchDeployment deployment(updateId, jobId, driveLetter, description);
    try {
        return deployment.Run();
    } catch (...) {
        // Whatever the interrupted step still held goes back to the agent.
        return deployment.Abandon(StepLine(TEXT("\nException in ScanAndDownload")), kUnknownError);
    }
}

#include "process/run_command.h"

#include <vector>

#include "errors/scan_error_codes.h"
#include "platform/scoped_resource.h"
#include "platform/text_format.h"
#include "process/start_failure.h"
#include "process/startup_info.h"
#include "process/writable_copy.h"

namespace {

constexpr std::size_t kExitCodeTextSize = 256;

void WriteMessage(WCHAR* message, const WCHAR* text) {
    if (message) FormatTruncatedN(message, kDescriptionCapacity, TEXT("%s"), text);
}

bool SameText(const WCHAR* a, const WCHAR* b) {
    return a && b && WideEquals(a, b);
}

}  // namespace

bool RunCommandAndWait(LPWSTR commandLine, DWORD timeoutMs, LPCWSTR successCodeText, WCHAR* exitCodeText,
                       WCHAR* message, LPCWSTR workingDirectory) {
    // Exhausted memory while copying goes to the caller.
    std::vector<WCHAR> commandCopy = WritableCopy(commandLine);
    std::vector<WCHAR> directoryCopy = WritableCopy(workingDirectory);

    try {
        STARTUPINFOW startup = StartupInfoShowing(SW_HIDE);

        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, commandCopy.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            workingDirectory ? directoryCopy.data() : nullptr, &startup, &process)) {
            ReportInstallerStartFailure(GetLastError(), message);
            return false;
        }
        ScopedHandle processHandle(process.hProcess);
        ScopedHandle threadHandle(process.hThread);

        // On time-out the child is left running: the caller only stops waiting.
        if (WaitForSingleObject(processHandle.Get(), timeoutMs) == WAIT_TIMEOUT) {
            WriteMessage(message, TEXT("Execution timeout"));
            return false;
        }

        DWORD exitCode = 0;
        if (!GetExitCodeProcess(processHandle.Get(), &exitCode)) return false;

        // Decisions are made on the text as written, so a missing buffer
        // still gets the same outcome.
        WCHAR ownText[kExitCodeTextSize] = {};
        WCHAR* codeText = exitCodeText ? exitCodeText : ownText;
        FormatTruncatedN(codeText, kExitCodeTextSize, TEXT("0x%X"), exitCode);

        if (SameText(codeText, successCodeText) || SameText(codeText, TEXT("0x0"))) return true;
        if (SameText(codeText, TEXT("0x5"))) {
            WriteMessage(message, TEXT("The compatibility checks detected issues that require resolution before "
                                       "the upgrade can continue"));
        } else if (SameText(codeText, TEXT("0x7"))) {
            WriteMessage(message, TEXT(" The installation option (upgrade or data only) was not available."));
        } else if (message) {
            FormatTruncatedN(message, kDescriptionCapacity, TEXT("%s->%s"), TEXT("Exit Code-"), codeText);
        }
        return false;
    } catch (...) {
        WriteMessage(message, TEXT("Job failed. Unknown error occurred."));
        return false;
    }
}

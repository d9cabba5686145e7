#include "driver/reboot_reminder.h"

#include <string>

#include "joblog/job_log.h"
#include "platform/console.h"
#include "platform/test_seams.h"
#include "platform/wide_string.h"
#include "spool/spool_folder.h"
#include "platform/drive_letter.h"
#include "process/launch_as_user.h"

namespace {

// How long the worker stays after starting the tray program.
constexpr DWORD kTrayStartPauseMs = 10000;

// The text as it goes between the double quotes of the tray program's
// command line, so that the program reads it back, by the rules of
// CommandLineToArgvW, as one argument equal to the text: a double quote is
// escaped with a backslash, and the backslashes before a double quote (an
// escaped one or the closing one) are doubled. A text without quotes and
// without trailing backslashes stays as it is.
WideString EscapeForQuotedArgument(const WCHAR* text) {
    WideString escaped;
    std::size_t backslashes = 0;
    for (const WCHAR* c = text; *c != 0; ++c) {
        if (*c == TEXT('\\')) {
            ++backslashes;
        } else if (*c == TEXT('"')) {
            escaped.append(backslashes + 1, TEXT('\\'));
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        escaped += *c;
    }
    escaped.append(backslashes, TEXT('\\'));
    return escaped;
}

}  // namespace

int LaunchRebootReminder(WCHAR** argv) {
    // The log stops with the mode however it ends.
    struct ReminderLog {
        explicit ReminderLog(const WCHAR* drive) {
            StartJobLog(OpenWorkerFolder(drive, TEXT("Logs")), TEXT("Reminder"));
            JobLog(LogType::Information, TEXT("PatchWorker %s started: process %u, mode reboot reminder"),
                   kWorkerVersion, static_cast<unsigned>(GetCurrentProcessId()));
        }
        ~ReminderLog() { StopJobLog(); }
    } log(argv[1]);
    try {
        ConsolePrint(TEXT("LaunchRebootReminder:  START\n"));
        const WCHAR* drive = argv[1];
        const WCHAR* text = argv[8];
        int numbers[6];
        for (int i = 0; i < 6; ++i) numbers[i] = _wtoi(argv[2 + i]);

        if (numbers[0] == 0) {
            JobLog(LogType::Information, TEXT("The reminder is disabled: nothing started"));
            return EndWithLine(-1, TEXT("LaunchRebootReminder:  Reboot disabled\n"));
        }
        // Anything but a drive letter would change which program is started.
        if (!IsDriveLetter(drive)) {
            JobLog(LogType::Error, TEXT("The drive is not a letter: nothing started"));
            return EndWithLine(-1, TEXT("Patch Tray Execution Failed. ReturnValue:%d, ErrorCode:%d"), -1,
                               static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }

        WCHAR commandLine[1024] = {};
        FormatTruncated(commandLine, TEXT("\"%s:\\ORV\\PatchTray\\VeltraneORVTray.exe\" %d %d %d %d %d %d \"%s\""),
                        drive, numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5],
                        EscapeForQuotedArgument(text).c_str());

        int result = LaunchProcessAsUser(commandLine, nullptr);
        DWORD error = GetLastError();
        if (result == 1 || result == 0) {
            JobLog(LogType::Information, TEXT("Tray program started: %s"), commandLine);
            ConsolePrint(TEXT("Patch Tray Excecution Success\n"));
            Seams().pause(kTrayStartPauseMs);
            return 0;
        }
        JobLog(LogType::Error, TEXT("Tray program not started: %s: result %d, error %d"), commandLine, result,
               static_cast<int>(error));
        return EndWithLine(-1, TEXT("Patch Tray Execution Failed. ReturnValue:%d, ErrorCode:%d"), result, error);
    } catch (...) {
        return EndWithLine(0, TEXT("Exception in LaunchRebootReminder"));
    }
}

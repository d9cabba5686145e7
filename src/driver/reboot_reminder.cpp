#include "driver/reboot_reminder.h"

#include "platform/console.h"
#include "process/launch_as_user.h"

namespace {

// How long the worker stays after starting the tray program.
constexpr DWORD kTrayStartPauseMs = 10000;

}  // namespace

int LaunchRebootReminder(WCHAR** argv) {
    try {
        ConsolePrint(TEXT("LaunchRebootReminder:  START\n"));
        const WCHAR* drive = argv[1];
        const WCHAR* text = argv[8];
        int numbers[6];
        for (int i = 0; i < 6; ++i) numbers[i] = _wtoi(argv[2 + i]);

        if (numbers[0] == 0) {
            ConsolePrint(TEXT("LaunchRebootReminder:  Reboot disabled\n"));
            return -1;
        }

        WCHAR commandLine[1024] = {};
        FormatTruncated(commandLine, TEXT("\"%s:\\ORV\\PatchTray\\VeltraneORVTray.exe\" %d %d %d %d %d %d \"%s\""),
                        drive, numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5], text);

        int result = LaunchProcessAsUser(commandLine, nullptr);
        DWORD error = GetLastError();
        if (result == 1 || result == 0) {
            ConsolePrint(TEXT("Patch Tray Excecution Success\n"));
            Pause(kTrayStartPauseMs);
            return 0;
        }
        ConsolePrint(TEXT("Patch Tray Execution Failed. ReturnValue:%d, ErrorCode:%d"), result, error);
        return -1;
    } catch (...) {
        ConsolePrint(TEXT("Exception in LaunchRebootReminder"));
        return 0;
    }
}

// The reboot reminder's command line: any 8 arguments give either "disabled",
// a refused drive, or one tray start with a terminated command line of at
// most 1023 characters, which the tray program splits back into its path,
// six numbers and the reminder text unchanged whenever the line was not cut.
// The start itself is cut off: this program supplies LaunchProcessAsUser, so
// the real one is not linked in.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "driver/reboot_reminder.h"
#include "fuzz_arguments.h"
#include "platform/test_seams.h"
#include "platform/linux/command_line.h"
#include "process/launch_as_user.h"

namespace {

int g_launches;
int g_launchResult;
std::u16string g_text;

void NoPause(DWORD) {}

}  // namespace

int LaunchProcessAsUser(LPCWSTR commandLine, LPCWSTR) {
    ++g_launches;
    if (!TerminatedWithin(commandLine, 1024)) std::abort();
    if (std::char_traits<WCHAR>::length(commandLine) < 1023) {
        const auto arguments = SplitWindowsCommandLine(commandLine);
        if (arguments.size() != 8 || arguments[7] != g_text) std::abort();
    }
    if (g_launchResult == 3) throw 0;
    return g_launchResult - 1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceConsole();
    static ScopedTestSeams seams;
    seams->pause = NoPause;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    g_launchResult = data[0] % 4;
    FuzzCommandLine reminder(data + 1, size - 1, 9);
    g_text = reminder.Entry(8);
    g_launches = 0;
    int result = LaunchRebootReminder(reminder.Argv());
    if (g_launches > 1) std::abort();
    if (g_launches == 0 && result != -1) std::abort();  // only "disabled" and a refused drive start nothing
    return 0;
}

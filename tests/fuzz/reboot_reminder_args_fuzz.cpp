// The reboot reminder's command line: any 8 arguments give either "disabled"
// or one tray start with a terminated command line of at most 1023
// characters. The start itself is cut off: this program supplies
// LaunchProcessAsUser, so the real one is not linked in.
#include <cstdint>
#include <cstdlib>

#include "driver/reboot_reminder.h"
#include "fuzz_arguments.h"
#include "process/launch_as_user.h"

namespace {

int g_launches;
int g_launchResult;

void NoPause(DWORD) {}

}  // namespace

int LaunchProcessAsUser(LPCWSTR commandLine, LPCWSTR) {
    ++g_launches;
    if (!TerminatedWithin(commandLine, 1024)) std::abort();
    if (g_launchResult == 3) throw 0;
    return g_launchResult - 1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceConsole();
    SetPauseFunction(NoPause);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    g_launchResult = data[0] % 4;
    FuzzCommandLine reminder(data + 1, size - 1, 9);
    g_launches = 0;
    int result = LaunchRebootReminder(reminder.Argv());
    if (g_launches > 1) std::abort();
    if (g_launches == 0 && result != -1) std::abort();  // only "disabled" starts nothing
    return 0;
}

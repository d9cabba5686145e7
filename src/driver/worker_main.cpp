#include "driver/deploy_job.h"
#include "driver/reboot_reminder.h"
#include "platform/platform.h"

// The worker's mode follows from the argument count alone: 11 entries are a
// deployment job, 9 the reboot reminder, anything else is ignored. The exit
// code is 0 in every case; the outcome reaches the server only as a report.
int WorkerMain(int argc, WCHAR** argv) {
    EnterUtf16ConsoleMode();
    if (argc == 11) {
        RunDeployJob(argv);
    } else if (argc == 9) {
        LaunchRebootReminder(argv);
    }
    return 0;
}

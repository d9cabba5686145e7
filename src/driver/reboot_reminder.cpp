#include "driver/reboot_reminder.h"

// Placeholder until the reminder mode is built: it starts nothing and prints
// nothing.
int LaunchRebootReminder(WCHAR**) {
    return -1;
}

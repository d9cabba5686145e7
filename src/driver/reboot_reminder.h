// The reboot-reminder mode: starts the agent's tray program in the logged-on
// user's session. argv holds the 9 entries of the command line.
#pragma once

#include "platform/platform.h"

int LaunchRebootReminder(WCHAR** argv);

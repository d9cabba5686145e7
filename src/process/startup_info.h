// The start-up information that the launcher and the run-and-wait routine
// give a program they start.
#pragma once

#include "platform/platform.h"

// Every field zero but the window's show state: no desktop, no title, no
// standard-handle redirection.
inline STARTUPINFOW StartupInfoShowing(WORD showWindow) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showWindow;
    return startup;
}

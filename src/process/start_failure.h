// The installer that could not be started. Windows gives no exit code then,
// so the reason is the only thing support staff can go on: the system's text
// for the start's error goes into the job's description and onto the console.
#pragma once

#include "platform/platform.h"

// Writes "The installer could not be started: " and the system's text for
// error (or "Error code: 0x" and the code when the system has none) into
// message (kDescriptionCapacity characters; may be null) and prints the same
// text as a console line.
void ReportInstallerStartFailure(DWORD error, WCHAR* message);

// The same as the text of a failing step's exit: FailStep(description,
// InstallerStartFailure{error}) prints it and writes it as the description.
struct InstallerStartFailure {
    DWORD error;
};
inline void CarryExit(const InstallerStartFailure& failure, WCHAR* description) {
    ReportInstallerStartFailure(failure.error, description);
}

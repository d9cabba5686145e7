// Updates that are installed from a standalone package (an MSU file in the
// job folder) by the system's standalone update installer instead of through
// the update agent: cumulative updates for Windows, Windows 10 excepted, and
// for Microsoft server systems.
#pragma once

#include "platform/platform.h"

// True when the update's title marks it as such an update. Only the letters
// A to Z are lowered before the title is searched; every other character is
// compared as it stands.
bool IsStandalonePackageTitle(const WCHAR* title);

// Installs the package found in <drive>:\ORV\<job ID>\ with wusa.exe, both
// it and cmd.exe started from the system folder by their full paths, and
// waits for it up to 7 hours. Returns 1 when the installer's exit code means
// success (a restart is then reported as needed), -1 otherwise; description
// receives "Unable to get MSU file name." when the folder holds no package,
// the reason when the job identifier or the package path is refused (nothing
// is started then) or when the installer could not be started (also
// printed), else whatever the run-and-wait routine wrote into it.
int InstallStandalonePackage(const WCHAR* driveLetter, const WCHAR* jobId, WCHAR* description);

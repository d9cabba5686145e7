// Names that the worker builds paths and the installer's command line from:
// the job's folder, <drive>:\ORV\<job ID>\, and the standalone package in it.
// Both come from outside (the command line, the folder's contents) and are
// checked before anything is done with them.
#pragma once

#include "deploy/step_exit.h"
#include "platform/platform.h"

// True when the job identifier names one folder inside the install
// directory. A job identifier is a number by its meaning; one that is empty,
// holds a path separator, a colon, "..", a control character or another
// character that Windows never allows in a name, or is "." would lead the
// worker out of the job folder or to no folder at all. Then the reason is
// written into description (kDescriptionCapacity characters) and the failed
// step's result is returned; otherwise kGoOn.
StepResult CheckJobFolderName(const WCHAR* jobId, WCHAR* description);

// True when a name that the directory search found names one entry of that
// folder, so that the folder's path, a backslash and the name lead to it. A
// Windows name never holds a backslash; a name on a Linux disk may, and
// would then lead elsewhere: "..\\..\\evil.msu" out of the folder.
bool IsNameOfOneEntry(const WCHAR* name);

// kGoOn when the package path can stand between the double quotes of cmd's
// command line unchanged. Inside them cmd still expands %NAME%, a double
// quote would end the quoting and let the rest become commands or switches,
// and control characters have no place in a path. Otherwise description
// names the path (control characters shown as blanks) and the failed step's
// result is returned.
StepResult CheckPackagePathForCommandInterpreter(const WCHAR* packagePath, WCHAR* description);

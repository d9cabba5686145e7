// Process creation of the Linux substitute, shared by CreateProcessW and
// CreateProcessAsUserW.
//
// How the program is found: the application name when one is given, else the
// first token of the command line. A name with a drive letter, a backslash or
// a slash is a path (mapped by MapWindowsPath; relative to the worker's
// current directory). A bare name is looked for in each folder of PATH (the
// current directory is not searched); in each folder the name as given is
// tried first, then the name without a ".exe" ending when it has one, else
// the name with ".exe" added. So "wusa.exe" finds a program named wusa.exe or
// wusa, and "cmd" one named cmd or cmd.exe. Paths are tried the same way.
#pragma once

#include <sys/types.h>

#include <vector>

#include "win_types.h"

struct _PROCESS_INFORMATION;

struct SpawnRequest {
    const WCHAR* applicationName = nullptr;     // null: the command line's first token
    const WCHAR* commandLine = nullptr;         // split by the Windows rules
    const WCHAR* workingDirectory = nullptr;    // null: the worker's own
    const WCHAR* environment = nullptr;         // UTF-16 block "K=V\0...\0\0"; null: the worker's own
    bool inheritHandles = false;                // false: the child gets only descriptors 0, 1 and 2
    int standardDescriptors[3] = {-1, -1, -1};  // the child's 0, 1 and 2: a worker's descriptor, -1 /dev/null
    bool asUser = false;                        // run with the identity below, without the exit-code descriptor
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Where a child's descriptors 0, 1 and 2 come from, as Windows sets a child's
// standard handles: with STARTF_USESTDHANDLES the handles given (those of
// GetStdHandle; any other value is none), else, when the child inherits
// handles, the worker's own; otherwise none. None is the null device, so a
// child started without the worker's handles never writes into the worker's
// console nor keeps it open.
void ChooseStandardDescriptors(SpawnRequest& request, const struct _STARTUPINFOW* startup, bool inheritHandles);

// Starts the program and fills the process information with a process
// handle (a KernelObject) and its id. On failure sets the last error (2 for
// a program that does not exist, 5 for one that may not be run, 267 for a
// working directory that cannot be entered, 1314 when the identity cannot be
// taken on) and returns FALSE; no process is left behind.
BOOL SpawnProcess(const SpawnRequest& request, _PROCESS_INFORMATION* information);

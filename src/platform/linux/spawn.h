// Process creation of the Linux substitute, shared by CreateProcessW and
// CreateProcessAsUserW.
#pragma once

#include <sys/types.h>

#include <vector>

#include "win_types.h"

struct _PROCESS_INFORMATION;

struct SpawnRequest {
    const WCHAR* commandLine = nullptr;       // split by the Windows rules
    const WCHAR* workingDirectory = nullptr;  // null: the worker's own
    const WCHAR* environment = nullptr;       // UTF-16 block "K=V\0...\0\0"; null: the worker's own
    bool asUser = false;                      // run with the identity below
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Starts the program and fills the process information with a process
// handle (a KernelObject) and its id. On failure sets the last error (2 for
// a program that does not exist, 5 for one that may not be run) and returns
// FALSE.
BOOL SpawnProcess(const SpawnRequest& request, _PROCESS_INFORMATION* information);

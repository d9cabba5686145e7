// The drive argument of both modes: the agent's install directory is
// <drive>:\ORV, so the argument must be what Windows takes for a drive.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/wide_string.h"

// True for a single letter from A to Z, in either case; anything else (a
// path, a colon, several characters, nothing) would make the worker's paths
// lead somewhere other than a drive's root.
inline bool IsDriveLetter(const WCHAR* drive) {
    if (drive == nullptr) return false;
    const WCHAR c = drive[0];
    return ((c >= TEXT('A') && c <= TEXT('Z')) || (c >= TEXT('a') && c <= TEXT('z'))) && drive[1] == 0;
}

// The agent's install directory on a drive that IsDriveLetter accepts.
inline WideString AgentInstallFolder(const WCHAR* drive) {
    return WideString(1, drive[0]) + TEXT(":\\ORV");
}

// The worker's own folder in it, where the agent's installer places the
// worker's files.
inline WideString WorkerFolder(const WCHAR* drive) {
    return AgentInstallFolder(drive) + TEXT("\\PatchDeploy");
}

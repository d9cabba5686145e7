// What the substitute makes of the security attributes given to
// CreateDirectoryW (see security_api.h).
#pragma once

#include <sys/types.h>

#include "process_api.h"
#include "win_types.h"

// The mode of a new folder: 0755 without attributes or descriptor, 0700 for
// a descriptor with a protected DACL. Returns 0, or
// ERROR_INVALID_SECURITY_DESCR for a descriptor the substitute did not make.
DWORD FolderModeOf(const SECURITY_ATTRIBUTES* attributes, mode_t& mode);

// Whether a folder may hold what the worker trusts: nobody but the system's
// administrators (and the account the worker runs as) can have put or
// changed anything in it.
#pragma once

#include "platform/platform.h"

// True when the folder at path is owned by SYSTEM, the Administrators group
// or the worker's own account, and its access list lets nobody else write
// to it or change it (add or delete entries, its attributes, its rights or
// its owner). The Linux substitute takes the owner root (or the worker's
// own user) and no write bit for the group or others for the same. False
// when the folder cannot be examined.
bool IsAdministratorsFolder(LPCWSTR path);

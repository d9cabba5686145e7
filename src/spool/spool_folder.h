// Where the spool lives: <drive>:\ORV\PatchDeploy\Reports.
#pragma once

#include "platform/wide_string.h"
#include "spool/record_names.h"

// The spool folder of the agent's install directory on drive, made when it
// is missing inside an existing <drive>:\ORV (PatchDeploy and Reports with
// rights for SYSTEM and Administrators only, not inherited). Empty when the
// spool cannot be used: the drive is not a letter, the install directory is
// missing, a folder cannot be made, PatchDeploy or Reports is a link or
// junction, which could lead the worker's files into another folder, or
// either is a folder that others could write to (IsAdministratorsFolder),
// whose records anybody could have put there.
WideString OpenSpoolFolder(LPCWSTR drive);
// The same for another folder of the worker's own in PatchDeploy (Logs).
WideString OpenWorkerFolder(LPCWSTR drive, const WCHAR* name);

// Flushes the folder of path, so that the names made or removed in it are
// on the disk.
bool FlushFolder(const WideString& path);

// The path of a file of the folder.
WideString SpoolPath(const WideString& folder, const WideString& name);

// Finding the standalone update package in a job folder.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/wide_string.h"

// The name of the entry of installDir\jobId whose name ends in ".msu" in
// any letter case; of several, the first by name with ASCII letters compared
// in upper case (as NTFS lists a folder of such names), whatever order the directory search returns them in. Empty when
// the folder is missing or holds no such entry. Other files beside the
// package (a readme, a signature) are passed over, as are folders, devices,
// links and junctions by any name, and names that hold a backslash (see
// IsNameOfOneEntry): the package is a plain file. A search that fails
// midway (an error other than ERROR_NO_MORE_FILES) gives the empty name too.
WideString GetMsuFileName(LPCWSTR installDir, LPCWSTR jobId);

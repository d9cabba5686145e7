// Finding the standalone update package in a job folder.
#pragma once

#include <string>

#include "platform/platform.h"

// The name of the first entry of installDir\jobId whose name ends in ".msu"
// in any letter case, in the order of the directory search; empty when the
// folder is missing or holds no such entry. Other files beside the package
// (a readme, a signature) are passed over. A search that fails midway (an
// error other than ERROR_NO_MORE_FILES) ends there and gives the empty name
// too.
std::basic_string<WCHAR> GetMsuFileName(LPCWSTR installDir, LPCWSTR jobId);

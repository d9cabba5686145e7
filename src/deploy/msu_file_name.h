// Finding the standalone update package in a job folder.
#pragma once

#include <string>

#include "platform/platform.h"

// The name of the first entry of installDir\jobId other than "." and "..",
// in the order of the directory search, whether it is a file or a folder;
// empty when the folder is missing or holds nothing else. A search that
// fails midway (an error other than ERROR_NO_MORE_FILES) ends there and
// gives the empty name too.
std::basic_string<WCHAR> GetMsuFileName(LPCWSTR installDir, LPCWSTR jobId);

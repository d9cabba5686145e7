// Windows paths on Linux. A drive-letter path X:\a\b names the folder
// $WORKER_DRIVE_ROOT/X/a/b (the letter in upper case, backslashes as
// slashes); without WORKER_DRIVE_ROOT the root is /. A path without a drive
// letter only has its backslashes turned into slashes. This lets every test
// run with a drive of its own.
#pragma once

#include <string>

#include "win_types.h"

std::string MapWindowsPath(const WCHAR* path);
std::string MapWindowsPath(const std::string& utf8Path);

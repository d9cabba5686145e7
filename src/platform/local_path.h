// Where a Windows path that the worker hands to a platform component lies in
// this machine's file system: on Windows the path itself, on Linux the
// drive-mapped folder (see linux/drive_map.h).
#pragma once

#include <filesystem>

#include "platform/platform.h"

std::filesystem::path LocalPathOf(LPCWSTR windowsPath);

#include "platform/local_path.h"

#include "drive_map.h"

std::filesystem::path LocalPathOf(LPCWSTR windowsPath) {
    return MapWindowsPath(windowsPath);
}

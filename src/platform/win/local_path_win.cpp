#include "platform/local_path.h"

std::filesystem::path LocalPathOf(LPCWSTR windowsPath) {
    return std::filesystem::path(windowsPath);
}

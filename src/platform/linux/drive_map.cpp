#include "drive_map.h"

#include <cstdlib>

#include "utf.h"

std::string MapWindowsPath(const std::string& path) {
    std::string out;
    std::size_t start = 0;
    bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                    ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (hasDrive) {
        const char* root = std::getenv("WORKER_DRIVE_ROOT");
        out = root && *root ? root : "";
        while (!out.empty() && out.back() == '/') out.pop_back();
        out += '/';
        out += static_cast<char>(path[0] >= 'a' ? path[0] - 'a' + 'A' : path[0]);
        start = 2;
        if (path.size() > 2 && path[2] != '\\' && path[2] != '/') out += '/';
    }
    for (std::size_t i = start; i < path.size(); ++i) out += path[i] == '\\' ? '/' : path[i];
    return out;
}

std::string MapWindowsPath(const WCHAR* path) {
    return MapWindowsPath(Utf16ToUtf8(path, WideLengthOf(path)));
}

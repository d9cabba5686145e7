#include "platform/folder_trust.h"

#include <sys/stat.h>
#include <unistd.h>

#include "drive_map.h"

bool IsAdministratorsFolder(LPCWSTR path) {
    struct stat folder {};
    if (lstat(MapWindowsPath(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) return false;
    return (folder.st_uid == 0 || folder.st_uid == geteuid()) && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

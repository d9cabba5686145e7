// Windows attributes and times of Linux entries, as GetFileAttributesW,
// GetFileInformationByHandle and the directory search report them.
#pragma once

#include <sys/stat.h>

#include "file_api.h"

// The attributes of an entry from its lstat; pointsAtFolder tells, for a
// symbolic link, whether it points at a folder.
DWORD AttributesOf(const struct stat& entry, bool pointsAtFolder);
// Whether the entry at path is a symbolic link to a folder.
bool IsLinkToFolder(const struct stat& entry, const char* path);

FILETIME FileTimeOf(const timespec& time);

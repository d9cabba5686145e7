// What the worker takes for a file it may read, run or lock.
#pragma once

#include "platform/platform.h"

// Whether attributes are a plain file's: not a folder, not a device (on
// Linux also a FIFO or socket), and not a reparse point (a symbolic link or
// junction, whose target may lie in another folder).
inline bool IsPlainFileAttributes(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

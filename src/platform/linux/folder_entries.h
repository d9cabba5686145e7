// A folder's names read with getdents64 into a buffer on the stack: no
// allocation and no directory stream, which is all the substitute's look-ups
// and searches need.
#pragma once

#include <dirent.h>
#include <sys/types.h>

// Calls visit(name) for each entry of the folder open as fd ("." and ".."
// included); false when the folder could not be read to its end.
template <typename Visit>
bool ForEachFolderEntry(int fd, Visit visit) {
    alignas(dirent64) char entries[8192];
    ssize_t size;
    while ((size = getdents64(fd, entries, sizeof entries)) > 0) {
        for (ssize_t at = 0; at < size; at += reinterpret_cast<dirent64*>(entries + at)->d_reclen)
            visit(static_cast<const char*>(reinterpret_cast<dirent64*>(entries + at)->d_name));
    }
    return size == 0;
}

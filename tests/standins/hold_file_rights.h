// The rights that hold_file takes from its arguments, on Linux (the
// substitute) and Windows alike: access letters r, w and d for
// GENERIC_READ, GENERIC_WRITE and DELETE; share letters r, w and d for
// FILE_SHARE_READ, FILE_SHARE_WRITE and FILE_SHARE_DELETE, or "-" for none.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/platform.h"
#endif

// Reads letters into rights; false for an unknown letter or an empty text.
template <typename Char>
bool ReadRights(const Char* letters, DWORD read, DWORD write, DWORD remove, DWORD& rights) {
    rights = 0;
    if (letters[0] == '-' && letters[1] == 0) return true;
    for (const Char* letter = letters; *letter; ++letter) {
        switch (*letter) {
            case 'r': rights |= read; break;
            case 'w': rights |= write; break;
            case 'd': rights |= remove; break;
            default: return false;
        }
    }
    return letters[0] != 0;
}

template <typename Char>
bool ReadAccess(const Char* letters, DWORD& access) {
    return letters[0] != '-' && ReadRights(letters, GENERIC_READ, GENERIC_WRITE, DELETE, access);
}

template <typename Char>
bool ReadShare(const Char* letters, DWORD& share) {
    return ReadRights(letters, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE, share);
}

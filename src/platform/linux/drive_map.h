// Windows paths on Linux. A drive-letter path X:\a\b names the folder
// $WORKER_DRIVE_ROOT/X/a/b (the letter in upper case, backslashes as
// slashes); without WORKER_DRIVE_ROOT the root is /. As on NTFS, a component
// below the drive that differs only in letter case from an entry on disk
// names that entry: D:\orv\A1.CAB is $WORKER_DRIVE_ROOT/D/ORV/a1.cab when
// that file exists. A path without a drive letter only has its backslashes
// turned into slashes. This lets every test run with a drive of its own.
#pragma once

#include <cerrno>
#include <string>

#include "win_types.h"

std::string MapWindowsPath(const WCHAR* path);
std::string MapWindowsPath(const std::string& utf8Path);

// The path as spelled: the drive mapped, no name looked up ignoring letter
// case. It is the path MapWindowsPath gives whenever an entry of exactly this
// spelling exists, so a call on an entry that must exist tries it first and
// is spared the look-ups; only when it finds nothing is the mapped path
// tried.
std::string SpelledWindowsPath(const WCHAR* path);

// MapWindowsPath for a path that has no entry as spelled, or for a file
// that is to be made: other letter cases are looked up at once, without
// a first look at the spelling.
std::string MapMissingWindowsPath(const WCHAR* path);

// Runs call(path, spelled) on the path as spelled and, when nothing has
// that spelling (ENOENT), again on the path MapMissingWindowsPath gives.
// Returns what call returns, errno as it left it.
template <typename Call>
int OnSpelledThenMapped(const WCHAR* path, Call call) {
    const int result = call(SpelledWindowsPath(path), true);
    if (result >= 0 || errno != ENOENT) return result;
    return call(MapMissingWindowsPath(path), false);
}

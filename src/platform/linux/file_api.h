// Files and folders as the worker uses them: whether a path exists, and the
// directory search of the FindFirstFileW family, over Windows paths mapped by
// MapWindowsPath (which, as NTFS, ignores the letter case of names).
#pragma once

#include "win_types.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// TRUE when the path names an existing file or folder.
BOOL PathFileExistsW(LPCWSTR pszPath);

// Searches the folder of "folder\pattern" for names that match the pattern
// ('*' any run, '?' one character, letter case ignored, as NTFS matches).
// The folder is read once, when the search opens: "." and ".." come first,
// as NTFS returns them, then the other entries ordered by their names with
// letter case ignored (NTFS keeps its folders in that order). Fails with
// INVALID_HANDLE_VALUE and last error 3 for a folder that does not exist, 2
// when nothing matches, 5 when the folder may not be read.
HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
// The next entry; FALSE with ERROR_NO_MORE_FILES after the last one.
BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

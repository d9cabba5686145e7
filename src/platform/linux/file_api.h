// Files and folders as the worker uses them: whether a path exists, the
// directory search of the FindFirstFileW family, and the durable file writes,
// renames and locks of the report spool, over Windows paths mapped by
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

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008
#define LOCKFILE_FAIL_IMMEDIATELY 0x00000001
#define LOCKFILE_EXCLUSIVE_LOCK 0x00000002

#define ERROR_WRITE_PROTECT 19L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_ALREADY_EXISTS 183L

// Only the position that LockFileEx and UnlockFileEx take from it.
typedef struct _OVERLAPPED {
    DWORD Offset;
    DWORD OffsetHigh;
} OVERLAPPED, *LPOVERLAPPED;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// Makes one folder; its parent must exist (3 otherwise, 183 when the name
// is taken, 5 without the right to write the parent, 19 on a read-only file
// system).
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);

// Opens or makes a file. Sharing is kept with advisory locks that end with
// the descriptor, so also when the process ends however it ends: a share
// mode of 0 takes an exclusive lock, any other share mode a shared one, and
// an open that conflicts with another handle's lock fails with 32
// (ERROR_SHARING_VIOLATION), as Windows fails an open that the other
// handle's sharing forbids. FILE_FLAG_BACKUP_SEMANTICS opens a folder too,
// as Windows requires for a folder's handle (with write access asked for,
// the handle serves FlushFileBuffers). Security attributes and the template
// are not used.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile);
// Overlapped input and output is not supported: lpOverlapped must be null.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped);
BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped);
// Writes the file's data through to the disk (fsync); for a folder, its
// entries (a rename in it).
//
// Test seam: WORKER_FLUSH_JOURNAL names a file that receives one line per
// flush, the flushed file's path (Linux form).
BOOL FlushFileBuffers(HANDLE hFile);
// Renames a file. MOVEFILE_REPLACE_EXISTING replaces a file of the new name
// in one step (a process killed right after that step may leave the replaced
// content under the old name); MOVEFILE_WRITE_THROUGH returns only once the
// rename is on the disk (the folder is synced), as Windows does for it.
//
// Test seam: WORKER_POWER_LOSS_AT_MOVE=n ends the process with SIGKILL at
// its n-th call (counted from 1), before anything is renamed, as a power
// loss at that moment would.
BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
BOOL DeleteFileW(LPCWSTR lpFileName);
// Locks the bytes from the overlapped's offset on (a range beyond the end of
// the file may be locked), for this handle: another handle, in this process
// or another, cannot lock them too while the lock is held. The lock ends with
// UnlockFileEx or with the handle, so also when the process ends however it
// ends. Without LOCKFILE_EXCLUSIVE_LOCK the lock is shared with other shared
// locks. With LOCKFILE_FAIL_IMMEDIATELY a range that is locked fails with 33
// (ERROR_LOCK_VIOLATION); without it the call waits. Only the low count of
// bytes is used, and it must not be 0.
BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD dwReserved, DWORD nNumberOfBytesToLockLow,
                DWORD nNumberOfBytesToLockHigh, LPOVERLAPPED lpOverlapped);
BOOL UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh,
                  LPOVERLAPPED lpOverlapped);

// Files and folders as the worker uses them: whether a path exists, the
// directory search of the FindFirstFileW family, attributes, and the durable
// file writes, renames and locks of the report spool, over Windows paths
// mapped by MapWindowsPath (which, as NTFS, ignores the letter case of names).
//
// The product relies on the Windows rules for files that are in use, so the
// substitute applies them at least as strictly as Windows does:
//  - Share modes hold across handles and processes (see CreateFileW).
//  - Deleting or renaming a file asks for delete access to it, which a handle
//    open without FILE_SHARE_DELETE refuses (32).
//  - A file that another handle has open is never replaced by a rename (5).
//  - A file deleted while other handles have it open (with FILE_SHARE_DELETE)
//    keeps its name until the last of them closes, as on classic NTFS: the
//    name stays listed, CREATE_NEW of it fails with 80 and every other open
//    of it, GetFileAttributesW included, with 5. The last handle of the
//    substitute that closes removes it; a process that ended without closing
//    its handles leaves it to the next call that opens the name.
//  - No call follows a symbolic link in the last component of a path, and no
//    call opens anything but a regular file or, where asked, a folder.
#pragma once

#include "security_api.h"
#include "win_types.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_DEVICE 0x00000040
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

typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *PBY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

// TRUE when the path names an existing file or folder.
BOOL PathFileExistsW(LPCWSTR pszPath);

// The attributes of a file or folder, the entry itself when it is a link:
// a symbolic link reports FILE_ATTRIBUTE_REPARSE_POINT, with
// FILE_ATTRIBUTE_DIRECTORY too when it points at a folder (as a junction
// does); a FIFO, socket or device reports FILE_ATTRIBUTE_DEVICE; a file or
// folder without write permission for its owner FILE_ATTRIBUTE_READONLY; a
// plain file FILE_ATTRIBUTE_NORMAL alone. INVALID_FILE_ATTRIBUTES on failure,
// with last error 2 (no such name), 3 (no such folder), 5 (no right, or a
// file whose deletion is pending).
DWORD GetFileAttributesW(LPCWSTR lpFileName);

// Searches the folder of "folder\pattern" for names that match the pattern
// ('*' any run, '?' one character, letter case ignored, as NTFS matches).
// Entries are read as they are asked for, in the order the file system lists
// them, so that memory does not grow with the folder. Attributes are
// those GetFileAttributesW gives, of the entry itself (links not followed);
// a link or device has size 0. Fails with INVALID_HANDLE_VALUE and last
// error 3 for a folder that does not exist, 2 when nothing matches, 5 when
// the folder may not be read.
HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
// The next entry; FALSE with ERROR_NO_MORE_FILES after the last one.
BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

#define DELETE 0x00010000L
#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_APPEND_DATA 0x00000004
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
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
#define ERROR_CANT_ACCESS_FILE 1920L

// Only the position that LockFileEx and UnlockFileEx take from it.
typedef struct _OVERLAPPED {
    DWORD Offset;
    DWORD OffsetHigh;
} OVERLAPPED, *LPOVERLAPPED;

// Makes one folder; its parent must exist (3 otherwise, 183 when the name
// is taken, 5 without the right to write the parent, 19 on a read-only file
// system). Without security attributes the folder gets mode 0755; with a
// descriptor from ConvertStringSecurityDescriptorToSecurityDescriptorW whose
// DACL is protected ("D:P..."), mode 0700: only its owner may use it, as
// only SYSTEM and Administrators may use such a folder on Windows. Any other
// descriptor fails with 1338 (ERROR_INVALID_SECURITY_DESCR).
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);

// Opens or makes a file.
//
// Sharing: dwDesiredAccess counts GENERIC_READ, GENERIC_WRITE (or
// FILE_APPEND_DATA, which writes too) and DELETE,
// dwShareMode FILE_SHARE_READ, FILE_SHARE_WRITE and FILE_SHARE_DELETE (other
// share bits fail with 87). The open fails with 32 (ERROR_SHARING_VIOLATION)
// when a handle already open on the file, in any process, does not share an
// access this open asks for, or has an access that this open's share mode
// does not allow. A handle without any of the three accesses takes no part.
// The rules end with the handle, so also when its process ends.
//
// Never through a link, never blocking: a symbolic link as the last
// component fails with 1920 (ERROR_CANT_ACCESS_FILE), with or without
// FILE_FLAG_OPEN_REPARSE_POINT; a FIFO, socket or device fails with 5 and is
// never read or written; a folder fails with 5 unless
// FILE_FLAG_BACKUP_SEMANTICS is given (with write access asked for, a
// folder's handle serves FlushFileBuffers). A file whose deletion is pending
// fails with 5 (CREATE_NEW with 80). The process must be allowed to read the
// file (5 otherwise). A file without write permission for its owner (which
// GetFileAttributesW reports as FILE_ATTRIBUTE_READONLY) is not opened with
// GENERIC_WRITE or CREATE_ALWAYS (5), even by root.
//
// CREATE_NEW fails with 80 on any existing entry. CREATE_ALWAYS empties an
// existing file only once the sharing check has passed. Succeeding on an
// existing file, CREATE_ALWAYS and OPEN_ALWAYS set last error 183, else 0.
// A missing file fails with 2, a missing folder on the way with 3.
// Security attributes and the template are not used.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile);
// Overlapped input and output is not supported: lpOverlapped must be null.
// A handle without GENERIC_READ (ReadFile) or without both GENERIC_WRITE and
// FILE_APPEND_DATA (WriteFile) fails with 5. A handle with FILE_APPEND_DATA
// and without GENERIC_WRITE writes each call's bytes at the file's end in
// one step, whoever else appends meanwhile.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped);
BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped);
#define FILE_BEGIN 0
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(-1))
// Moves the handle's position; only FILE_BEGIN is taken (87 otherwise), and
// lpDistanceToMoveHigh must be null. Returns the new position.
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
// Ends the file at the handle's position (GENERIC_WRITE needed, 5 otherwise).
BOOL SetEndOfFile(HANDLE hFile);
// Writes the file's data through to the disk (fsync); for a folder, its
// entries (a rename in it). The handle needs GENERIC_WRITE or
// FILE_APPEND_DATA (5 otherwise).
BOOL FlushFileBuffers(HANDLE hFile);
// The attributes (as GetFileAttributesW), times, size and number of links
// of an open file; the volume serial number and file index identify the
// file (from the device and inode numbers).
BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation);
// Renames a file or folder; it must be free for deletion (32 when a handle
// has it open without FILE_SHARE_DELETE). Without MOVEFILE_REPLACE_EXISTING
// an existing new name fails with 183. With it, a file of the new name is
// replaced in one step (rename(2)), unless any handle has that file open
// (5, even one that shares deletion: NTFS does not replace a file in use)
// or it is a folder or read-only (5). MOVEFILE_WRITE_THROUGH returns once the rename is
// on the disk (the folders involved are synced), as Windows does for it.
BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
// Deletes a file (a symbolic link itself, not what it points at); a folder
// or a read-only file fails with 5. A handle open without FILE_SHARE_DELETE fails it with 32;
// when handles that share deletion have the file open, the deletion is
// pending until the last of them closes (see above); on a file system
// without user extended attributes, which keep that state, it fails with 5.
BOOL DeleteFileW(LPCWSTR lpFileName);
// Locks the bytes from the overlapped's offset on (a range beyond the end of
// the file may be locked), for this handle: another handle, in this process
// or another, cannot lock them too while the lock is held. The lock ends with
// UnlockFileEx or with the handle, so also when the process ends however it
// ends. Without LOCKFILE_EXCLUSIVE_LOCK the lock is shared with other shared
// locks. With LOCKFILE_FAIL_IMMEDIATELY a range that is locked fails with 33
// (ERROR_LOCK_VIOLATION); without it the call waits. Only the low count of
// bytes is used, and it must not be 0. Offsets must stay below 2^62 (the
// bytes from there on keep the sharing rules); an exclusive lock needs a
// handle with GENERIC_WRITE.
BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD dwReserved, DWORD nNumberOfBytesToLockLow,
                DWORD nNumberOfBytesToLockHigh, LPOVERLAPPED lpOverlapped);
BOOL UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh,
                  LPOVERLAPPED lpOverlapped);

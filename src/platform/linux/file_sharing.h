// The Windows sharing rules kept on the file itself, so that they hold
// across handles and processes and end with the handle, however its process
// ends.
//
// Each handle marks what it does with open-file-description locks (shared,
// one byte each) far above any byte that LockFileEx is used for: that it is
// open, which of read, write and delete access it has, and which of them it
// denies to others (its share mode does not allow). A lock belongs to the
// open file description, so two handles of one process are as separate as
// two processes, and the system drops the marks when the descriptor closes.
// An open checks the marks of the others and places its own under a brief
// exclusive flock(2) on the same file (the guard), so that two opens never
// both pass a check that each would fail after the other.
//
// A deletion that other handles' sharing allows is kept pending in an
// extended attribute of the file until the last handle closes (see
// file_api.h).
#pragma once

#include <string>

#include "win_types.h"

// The rights of the sharing rules, with the bit values of FILE_SHARE_READ,
// FILE_SHARE_WRITE and FILE_SHARE_DELETE.
constexpr DWORD kReadRight = 1, kWriteRight = 2, kDeleteRight = 4, kAllRights = 7;

// The guard of a file's marks, held while this lives. Held() is false when
// another process kept it for too long (about a second).
class SharingGuard {
public:
    explicit SharingGuard(int fd);
    ~SharingGuard();
    SharingGuard(const SharingGuard&) = delete;
    SharingGuard& operator=(const SharingGuard&) = delete;
    bool Held() const { return held_; }

private:
    int fd_;
    bool held_;
};

// Under the guard: 0 when rights (what the open does) and shared (what its
// share mode allows) agree with every other handle's marks, which are then
// placed for fd; else ERROR_SHARING_VIOLATION. A descriptor opened for
// reading is needed. Without rights, nothing is checked and only the "open"
// mark is placed.
DWORD TakeShareMarks(int fd, DWORD rights, DWORD shared);
// Removes fd's own marks.
void DropShareMarks(int fd);
// Whether another descriptor than fd has the file open.
bool OpenElsewhere(int fd);

// Whether the file's deletion is pending, and marking it so (false when the
// file system keeps no extended attributes).
bool IsDeletePending(int fd);
bool IsDeletePending(const std::string& path);
bool MarkDeletePending(int fd);
// For a file at path whose deletion is pending: removes its name when no
// handle has it open any more (their processes ended without closing them).
// Returns true when the name went.
bool FinishPendingDeletion(const std::string& path);

// Whether path still names the file open as fd.
bool StillNamed(int fd, const std::string& path);
// Under the guard: removes the name of the file open as fd when no other
// handle has it open and path still names it; journals the deletion.
// Returns true when the name went.
bool RemoveNameIfLast(int fd, const std::string& path);

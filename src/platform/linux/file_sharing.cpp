// Sharing marks, their guard and pending deletions (see file_sharing.h).
#include "file_sharing.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "base_api.h"
#include "file_api.h"
#include "file_journal.h"

namespace {

// Mark bytes: kOpenMark, then "has" read, write, delete, then "denies" read,
// write, delete, from 2^62 on (LockFileEx callers stay far below).
constexpr off_t kMarksStart = off_t(1) << 62;
constexpr int kOpenMark = 0;
constexpr int kHasMark = 1;
constexpr int kDeniesMark = 4;
constexpr int kMarkCount = 7;
constexpr int kRightCount = 3;

// How long an open waits for another process's guard: far longer than the
// few system calls that a guard covers.
constexpr int kGuardTries = 1000;
constexpr long kGuardPauseNanoseconds = 1000000;

constexpr const char* kDeletePendingAttribute = "user.worker.delete_pending";

struct flock MarkRange(short type, int mark, int count = 1) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = kMarksStart + mark;
    range.l_len = count;
    return range;
}

bool HeldByOthers(int fd, int mark) {
    // A write lock conflicts with any lock that another open file
    // description holds; the descriptor's own locks never conflict.
    struct flock probe = MarkRange(F_WRLCK, mark);
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return true;
    return probe.l_type != F_UNLCK;
}

bool PlaceMark(int fd, int mark) {
    struct flock range = MarkRange(F_RDLCK, mark);
    int result;
    do {
        result = fcntl(fd, F_OFD_SETLK, &range);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

}  // namespace

SharingGuard::SharingGuard(int fd) : fd_(fd), held_(false) {
    for (int tries = 0; tries < kGuardTries; ++tries) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return;
        timespec pause{0, kGuardPauseNanoseconds};
        nanosleep(&pause, nullptr);
    }
}

SharingGuard::~SharingGuard() {
    if (held_) flock(fd_, LOCK_UN);
}

DWORD TakeShareMarks(int fd, DWORD rights, DWORD shared) {
    for (int right = 0; right < kRightCount && rights != 0; ++right) {
        const DWORD bit = DWORD(1) << right;
        if ((rights & bit) && HeldByOthers(fd, kDeniesMark + right)) return ERROR_SHARING_VIOLATION;
        if (!(shared & bit) && HeldByOthers(fd, kHasMark + right)) return ERROR_SHARING_VIOLATION;
    }
    bool placed = PlaceMark(fd, kOpenMark);
    for (int right = 0; right < kRightCount && rights != 0; ++right) {
        const DWORD bit = DWORD(1) << right;
        if (rights & bit) placed = placed && PlaceMark(fd, kHasMark + right);
        if (!(shared & bit)) placed = placed && PlaceMark(fd, kDeniesMark + right);
    }
    if (placed) return 0;
    DropShareMarks(fd);
    return ERROR_ACCESS_DENIED;
}

void DropShareMarks(int fd) {
    struct flock range = MarkRange(F_UNLCK, 0, kMarkCount);
    fcntl(fd, F_OFD_SETLK, &range);
}

bool OpenElsewhere(int fd) {
    return HeldByOthers(fd, kOpenMark);
}

bool IsDeletePending(int fd) {
    return fgetxattr(fd, kDeletePendingAttribute, nullptr, 0) >= 0;
}

bool IsDeletePending(const std::string& path) {
    return lgetxattr(path.c_str(), kDeletePendingAttribute, nullptr, 0) >= 0;
}

bool MarkDeletePending(int fd) {
    return fsetxattr(fd, kDeletePendingAttribute, "1", 1, 0) == 0;
}

bool FinishPendingDeletion(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    bool removed = false;
    {
        SharingGuard guard(fd);
        removed = guard.Held() && RemoveNameIfLast(fd, path);
    }
    close(fd);
    return removed;
}

bool StillNamed(int fd, const std::string& path) {
    struct stat named {};
    struct stat open {};
    return lstat(path.c_str(), &named) == 0 && fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}

bool RemoveNameIfLast(int fd, const std::string& path) {
    if (OpenElsewhere(fd) || !StillNamed(fd, path) || unlink(path.c_str()) != 0) return false;
    JournalFileOperation("delete", path);
    return true;
}

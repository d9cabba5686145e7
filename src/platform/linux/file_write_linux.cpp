// File writes, renames and locks of the Linux substitute (see file_api.h).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "../platform.h"
#include "drive_map.h"
#include "kernel_object.h"

namespace {

class FileObject : public KernelObject {
public:
    FileObject(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~FileObject() override { close(fd_); }
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

DWORD Win32ErrorOf(int error) {
    switch (error) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EROFS: return ERROR_WRITE_PROTECT;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_INVALID_FUNCTION;
    }
}

BOOL Fail(int error) {
    SetLastError(Win32ErrorOf(error));
    return FALSE;
}

FileObject* FileOf(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : FromHandle<FileObject>(handle);
}

int OpenFlags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC | O_NOFOLLOW;
    flags |= (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW: return flags | O_CREAT | O_EXCL;
        case CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
        case OPEN_ALWAYS: return flags | O_CREAT;
        default: return flags;
    }
}

// The folder that holds path, synced so that a rename in it is on the disk.
bool SyncFolderOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

void JournalFlush(const std::string& path) {
    const char* journal = std::getenv("WORKER_FLUSH_JOURNAL");
    if (!journal || !*journal) return;
    int fd = open(journal, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string line = path + "\n";
    if (write(fd, line.data(), line.size()) < 0) {
        // The journal only serves tests; a flush does not fail for it.
    }
    close(fd);
}

void LosePowerWhenAsked() {
    static std::atomic<long> moves{0};
    const char* at = std::getenv("WORKER_POWER_LOSS_AT_MOVE");
    long count = ++moves;
    if (at && std::atol(at) == count) raise(SIGKILL);
}

// Exchanges the names of two entries, as spelled when both have that
// spelling, else as MapWindowsPath finds them; from and to are the paths
// last tried.
int ExchangeNames(LPCWSTR first, LPCWSTR second, std::string& from, std::string& to) {
    from = SpelledWindowsPath(first);
    to = SpelledWindowsPath(second);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) return 0;
    from = MapWindowsPath(first);
    to = MapWindowsPath(second);
    return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
}

}  // namespace

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    if (!lpPathName || !*lpPathName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (mkdir(MapWindowsPath(lpPathName).c_str(), 0755) == 0) return TRUE;
    if (errno == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    return Fail(errno == ENOENT ? ENOTDIR : errno);
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    if (!lpFileName || !*lpFileName || dwCreationDisposition < CREATE_NEW || dwCreationDisposition > OPEN_ALWAYS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int flags = OpenFlags(dwDesiredAccess, dwCreationDisposition);
    std::string path;
    auto openAt = [&](const std::string& candidate, int openFlags) {
        path = candidate;
        int opened = open(path.c_str(), openFlags, 0644);
        // A folder's descriptor is read-only here; what write access to it
        // gives on Windows (FlushFileBuffers) needs no more.
        if (opened < 0 && errno == EISDIR && (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS))
            opened = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        return opened;
    };
    // A file that is to be made is looked up in every letter case at once:
    // a name that differs only in letter case is the same name, which
    // CREATE_NEW fails on and CREATE_ALWAYS empties.
    const bool made = dwCreationDisposition == CREATE_NEW || dwCreationDisposition == CREATE_ALWAYS;
    const int fd = made ? openAt(MapMissingWindowsPath(lpFileName), flags)
                        : OnSpelledThenMapped(lpFileName, [&](const std::string& candidate, bool spelled) {
                              return openAt(candidate, spelled ? flags & ~O_CREAT : flags);
                          });
    if (fd < 0) {
        Fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (flock(fd, (dwShareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int error = errno;
        close(fd);
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    return ToHandle(new FileObject(fd, path));
}

// The file of a synchronous ReadFile or WriteFile, with its byte count
// cleared; null (and the last error set) for a call the substitute does not
// take: no file, an overlapped call, or no count to report.
static FileObject* SynchronousFileOf(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD count) {
    FileObject* file = FileOf(handle);
    if (count) *count = 0;
    if (!file || overlapped || !count) {
        SetLastError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return file;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
    FileObject* file = SynchronousFileOf(hFile, lpOverlapped, lpNumberOfBytesRead);
    if (!file) return FALSE;
    ssize_t got;
    do {
        got = read(file->Fd(), lpBuffer, nNumberOfBytesToRead);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return Fail(errno);
    *lpNumberOfBytesRead = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
    FileObject* file = SynchronousFileOf(hFile, lpOverlapped, lpNumberOfBytesWritten);
    if (!file) return FALSE;
    const char* bytes = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = write(file->Fd(), bytes + done, nNumberOfBytesToWrite - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            *lpNumberOfBytesWritten = done;
            return Fail(put < 0 ? errno : ENOSPC);
        }
        done += static_cast<DWORD>(put);
    }
    *lpNumberOfBytesWritten = done;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    FileObject* file = FileOf(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (fsync(file->Fd()) != 0) return Fail(errno);
    JournalFlush(file->Path());
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    if (!lpExistingFileName || !lpNewFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LosePowerWhenAsked();
    std::string from, to;
    if (!(dwFlags & MOVEFILE_REPLACE_EXISTING)) {
        // Looked up ignoring letter case: a file that differs from the new
        // name only in letter case has that name.
        from = MapWindowsPath(lpExistingFileName);
        to = MapWindowsPath(lpNewFileName);
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno != EEXIST) return Fail(errno);
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
    } else if (ExchangeNames(lpExistingFileName, lpNewFileName, from, to) == 0) {
        // ext4 starts writing a file's data to the disk when it is renamed
        // over another file, and a deletion of it soon after then waits for
        // that write; Windows writes nothing on a rename unless asked to.
        // Exchanging the two names and then deleting the old file replaces
        // the file in one step as well, and leaves the writing to
        // FlushFileBuffers. A folder is not replaced: the names go back.
        if (unlink(from.c_str()) != 0) {
            int error = errno;
            renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
            return Fail(error == EISDIR ? EACCES : error);
        }
    } else if (rename(from.c_str(), to.c_str()) != 0) {
        // Nothing of the new name (or a file system that cannot exchange
        // names): a plain rename.
        return Fail(errno);
    }
    if ((dwFlags & MOVEFILE_WRITE_THROUGH) && !SyncFolderOf(to)) return Fail(errno);
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // A folder is not deleted: unlink fails for it with EISDIR, which is
    // access denied on Windows.
    return OnSpelledThenMapped(lpFileName, [](const std::string& path, bool) { return unlink(path.c_str()); }) == 0
               ? TRUE
               : Fail(errno);
}

// Open file description locks: held by the handle's descriptor, not by the
// process, so that two handles of one process exclude each other as on
// Windows, and dropped when the descriptor is closed.
static BOOL SetRangeLock(HANDLE handle, short type, bool wait, DWORD bytes, LPOVERLAPPED overlapped) {
    FileObject* file = FileOf(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!overlapped || bytes == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start =
        static_cast<off_t>((static_cast<unsigned long long>(overlapped->OffsetHigh) << 32) | overlapped->Offset);
    range.l_len = bytes;
    int result;
    do {
        result = fcntl(file->Fd(), wait ? F_OFD_SETLKW : F_OFD_SETLK, &range);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return TRUE;
    if (errno == EAGAIN || errno == EACCES) {
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    return Fail(errno);
}

BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD, DWORD nNumberOfBytesToLockLow, DWORD, LPOVERLAPPED lpOverlapped) {
    return SetRangeLock(hFile, (dwFlags & LOCKFILE_EXCLUSIVE_LOCK) ? F_WRLCK : F_RDLCK,
                        !(dwFlags & LOCKFILE_FAIL_IMMEDIATELY), nNumberOfBytesToLockLow, lpOverlapped);
}

BOOL UnlockFileEx(HANDLE hFile, DWORD, DWORD nNumberOfBytesToUnlockLow, DWORD, LPOVERLAPPED lpOverlapped) {
    return SetRangeLock(hFile, F_UNLCK, false, nNumberOfBytesToUnlockLow, lpOverlapped);
}

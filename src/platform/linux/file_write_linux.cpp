// File opens, writes, renames, deletions and locks of the Linux substitute
// (see file_api.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "drive_map.h"
#include "file_faults.h"
#include "file_journal.h"
#include "file_object.h"
#include "file_sharing.h"
#include "security_descriptor.h"

namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Syncs a folder so that the renames in it are on the disk: 0, or the
// error of the step that failed.
DWORD SyncFolder(const std::string& folder) {
    if (FileCallFails(FileCall::FlushFolder, folder)) return GetLastError();
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FileErrorOf(errno, folder);
    const DWORD error = fsync(fd) == 0 ? 0 : FileErrorOf(errno, folder);
    close(fd);
    if (error == 0) JournalFileOperation("flushdir", folder);
    return error;
}

// A handle that a call takes for itself to delete or rename a file, with
// delete access and every sharing allowed, as Windows takes it: null (and
// error set) when another handle's sharing refuses deletion.
std::unique_ptr<FileObject> OpenForDeletion(const std::string& path, bool folder, DWORD& error) {
    bool existed = false;
    const FileRequest request{DELETE, kAllRights, OPEN_EXISTING, folder ? DWORD(FILE_FLAG_BACKUP_SEMANTICS) : 0};
    return OpenFileObject(path, request, false, error, existed);
}

// The check of MOVEFILE_REPLACE_EXISTING on the file to be replaced (an
// empty path for none); the guard it holds keeps others from opening that
// file until the rename is done.
class ReplacedFile {
public:
    explicit ReplacedFile(const std::string& path)
        : fd_(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {}
    ~ReplacedFile() {
        guard_.reset();
        if (fd_ >= 0) close(fd_);
    }
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;

    // 0 when the file may be replaced: no handle has it open.
    DWORD Check() {
        if (fd_ < 0) return 0;  // no file that a handle can hold
        guard_ = std::make_unique<SharingGuard>(fd_);
        if (!guard_->Held()) return ERROR_SHARING_VIOLATION;
        return OpenElsewhere(fd_) ? ERROR_ACCESS_DENIED : 0;
    }

private:
    int fd_;
    std::unique_ptr<SharingGuard> guard_;
};

}  // namespace

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (!lpPathName || !*lpPathName) return Fail(ERROR_PATH_NOT_FOUND);
    mode_t mode = 0;
    if (DWORD error = FolderModeOf(lpSecurityAttributes, mode)) return Fail(error);
    const std::string path = MapWindowsPath(lpPathName);
    if (mkdir(path.c_str(), mode) != 0)
        return Fail(errno == EEXIST   ? ERROR_ALREADY_EXISTS
                    : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                      : FileErrorOf(errno, path));
    JournalFileOperation("mkdir", path);
    return TRUE;
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    if (!lpFileName || !*lpFileName || dwCreationDisposition < CREATE_NEW || dwCreationDisposition > OPEN_ALWAYS ||
        (dwShareMode & ~DWORD(kAllRights))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (FileCallFails(FileCall::Create, SpelledWindowsPath(lpFileName))) return INVALID_HANDLE_VALUE;
    const FileRequest request{dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes};
    DWORD error = 0;
    bool existed = false;
    std::unique_ptr<FileObject> file;
    // A file that is to be made is looked up in every letter case at once:
    // a name that differs only in letter case is the same name, which
    // CREATE_NEW fails on and CREATE_ALWAYS empties. Otherwise the spelling
    // is tried first, without making anything.
    if (dwCreationDisposition == CREATE_NEW || dwCreationDisposition == CREATE_ALWAYS) {
        file = OpenFileObject(MapMissingWindowsPath(lpFileName), request, true, error, existed);
    } else {
        file = OpenFileObject(SpelledWindowsPath(lpFileName), request, false, error, existed);
        if (!file && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
            file = OpenFileObject(MapMissingWindowsPath(lpFileName), request, true, error, existed);
    }
    if (!file) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    const bool reportsExisting = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return ToHandle(file.release());
}

// The file of a synchronous ReadFile or WriteFile, with its byte count
// cleared; null (and the last error set) for a call the substitute does not
// take: no file, an overlapped call, no count to report, or a handle
// without the access.
static FileObject* SynchronousFileOf(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD count, bool write) {
    FileObject* file = FileOf(handle);
    if (count) *count = 0;
    if (!file || overlapped || !count) {
        SetLastError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(write ? file->CanWrite() : file->CanRead())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return file;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
    FileObject* file = SynchronousFileOf(hFile, lpOverlapped, lpNumberOfBytesRead, false);
    if (!file) return FALSE;
    ssize_t got;
    do {
        got = read(file->Fd(), lpBuffer, nNumberOfBytesToRead);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return Fail(FileErrorOf(errno, file->Path()));
    *lpNumberOfBytesRead = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, const void* lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
    FileObject* file = SynchronousFileOf(hFile, lpOverlapped, lpNumberOfBytesWritten, true);
    if (!file || FileCallFails(FileCall::Write, file->Path())) return FALSE;
    off_t start = lseek(file->Fd(), 0, SEEK_CUR);
    const char* bytes = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    int error = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = write(file->Fd(), bytes + done, nNumberOfBytesToWrite - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            error = put < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<DWORD>(put);
    }
    // An appending write lands at the end, known only once it is done.
    if (file->Appends()) start = lseek(file->Fd(), 0, SEEK_CUR) - static_cast<off_t>(done);
    // What reached the file is journaled, even when the rest did not.
    JournalWrite(file->Path(), static_cast<unsigned long long>(start), bytes, done);
    *lpNumberOfBytesWritten = done;
    return error == 0 ? TRUE : Fail(FileErrorOf(error, file->Path()));
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    FileObject* file = FileOf(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh || dwMoveMethod != FILE_BEGIN || lDistanceToMove < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(file->Fd(), lDistanceToMove, SEEK_SET) < 0) {
        SetLastError(FileErrorOf(errno, file->Path()));
        return INVALID_SET_FILE_POINTER;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(lDistanceToMove);
}

BOOL SetEndOfFile(HANDLE hFile) {
    FileObject* file = FileOf(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
    const off_t end = lseek(file->Fd(), 0, SEEK_CUR);
    if (end < 0 || ftruncate(file->Fd(), end) != 0) return Fail(FileErrorOf(errno, file->Path()));
    JournalTruncate(file->Path(), static_cast<unsigned long long>(end));
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    FileObject* file = FileOf(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
    if (FileCallFails(FileCall::Flush, file->Path())) return FALSE;
    if (fsync(file->Fd()) != 0) return Fail(FileErrorOf(errno, file->Path()));
    JournalFileOperation(file->IsFolder() ? "flushdir" : "flush", file->Path());
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    if (!lpExistingFileName || !lpNewFileName || !*lpExistingFileName || !*lpNewFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    // Both looked up ignoring letter case: a file that differs from the new
    // name only in letter case has that name.
    const std::string from = MapWindowsPath(lpExistingFileName);
    const std::string to = MapWindowsPath(lpNewFileName);
    if (FileCallFails(FileCall::Move, from, to)) return FALSE;
    struct stat source {};
    if (lstat(from.c_str(), &source) != 0) return Fail(FileErrorOf(errno, from));
    // Held until the rename is done: a handle with delete access, as Windows
    // takes one. Links, FIFOs and devices cannot be held by a handle.
    DWORD error = 0;
    std::unique_ptr<FileObject> moved;
    if (S_ISREG(source.st_mode) || S_ISDIR(source.st_mode)) {
        moved = OpenForDeletion(from, S_ISDIR(source.st_mode), error);
        if (!moved) return Fail(error);
    }
    if (dwFlags & MOVEFILE_REPLACE_EXISTING) {
        struct stat target {};
        const bool replaces = lstat(to.c_str(), &target) == 0;
        const bool itself = replaces && target.st_dev == source.st_dev && target.st_ino == source.st_ino;
        const bool readOnly = S_ISREG(target.st_mode) && !(target.st_mode & S_IWUSR);
        if (replaces && !itself && (S_ISDIR(target.st_mode) || S_ISDIR(source.st_mode) || readOnly))
            return Fail(ERROR_ACCESS_DENIED);
        ReplacedFile replaced(replaces && !itself && S_ISREG(target.st_mode) ? to : std::string());
        if (DWORD refused = replaced.Check()) return Fail(refused);
        if (rename(from.c_str(), to.c_str()) != 0) return Fail(FileErrorOf(errno, to));
    } else if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : FileErrorOf(errno, to));
    }
    JournalRename(from, to);
    if (dwFlags & MOVEFILE_WRITE_THROUGH) {
        const std::string toFolder = FolderOf(to), fromFolder = FolderOf(from);
        error = SyncFolder(toFolder);
        if (error == 0 && fromFolder != toFolder) error = SyncFolder(fromFolder);
        if (error != 0) return Fail(error);
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
    if (!lpFileName || !*lpFileName) return Fail(ERROR_PATH_NOT_FOUND);
    const std::string path = ExistingPathOf(lpFileName);
    if (FileCallFails(FileCall::Delete, SpelledWindowsPath(lpFileName))) return FALSE;
    struct stat entry {};
    if (lstat(path.c_str(), &entry) != 0) return Fail(FileErrorOf(errno, path));
    // A folder or a read-only file is not deleted, as on Windows.
    if (S_ISDIR(entry.st_mode) || (S_ISREG(entry.st_mode) && !(entry.st_mode & S_IWUSR)))
        return Fail(ERROR_ACCESS_DENIED);
    if (!S_ISREG(entry.st_mode)) {
        // A link itself, or a FIFO or device, which no handle holds.
        if (unlink(path.c_str()) != 0) return Fail(FileErrorOf(errno, path));
        JournalFileOperation("delete", path);
        return TRUE;
    }
    DWORD error = 0;
    std::unique_ptr<FileObject> deleted = OpenForDeletion(path, false, error);
    if (!deleted) return Fail(error);
    SharingGuard guard(deleted->Fd());
    if (!guard.Held()) return Fail(ERROR_SHARING_VIOLATION);
    if (RemoveNameIfLast(deleted->Fd(), path)) return TRUE;
    if (!StillNamed(deleted->Fd(), path)) return Fail(ERROR_FILE_NOT_FOUND);
    // Other handles share deletion: the name goes with the last of them.
    return MarkDeletePending(deleted->Fd()) ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

// Open file description locks: held by the handle's descriptor, not by the
// process, so that two handles of one process exclude each other as on
// Windows, and dropped when the descriptor is closed.
static BOOL SetRangeLock(HANDLE handle, short type, bool wait, DWORD bytes, LPOVERLAPPED overlapped) {
    FileObject* file = FileOf(handle);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    if (!overlapped || bytes == 0) return Fail(ERROR_INVALID_PARAMETER);
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
    if (errno == EAGAIN || errno == EACCES) return Fail(ERROR_LOCK_VIOLATION);
    return Fail(errno == EBADF ? ERROR_ACCESS_DENIED : FileErrorOf(errno, file->Path()));
}

BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD, DWORD nNumberOfBytesToLockLow, DWORD, LPOVERLAPPED lpOverlapped) {
    return SetRangeLock(hFile, (dwFlags & LOCKFILE_EXCLUSIVE_LOCK) ? F_WRLCK : F_RDLCK,
                        !(dwFlags & LOCKFILE_FAIL_IMMEDIATELY), nNumberOfBytesToLockLow, lpOverlapped);
}

BOOL UnlockFileEx(HANDLE hFile, DWORD, DWORD nNumberOfBytesToUnlockLow, DWORD, LPOVERLAPPED lpOverlapped) {
    return SetRangeLock(hFile, F_UNLCK, false, nNumberOfBytesToUnlockLow, lpOverlapped);
}

// The file handle and the open of the Linux substitute (see file_object.h).
#include "file_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "drive_map.h"
#include "file_journal.h"
#include "file_sharing.h"

namespace {

// How often an open starts again when the name it opened was renamed over
// or deleted meanwhile, before it gives up with a sharing violation.
constexpr int kOpenAttempts = 8;

// A descriptor closed with this unless released.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

DWORD SharedRightsOf(DWORD access) {
    return ((access & GENERIC_READ) ? kReadRight : 0) |
           ((access & (GENERIC_WRITE | FILE_APPEND_DATA)) ? kWriteRight : 0) | ((access & DELETE) ? kDeleteRight : 0);
}

}  // namespace

FileObject::~FileObject() {
    if (IsDeletePending(fd_)) {
        SharingGuard guard(fd_);
        DropShareMarks(fd_);
        if (guard.Held()) RemoveNameIfLast(fd_, path_);
    }
    close(fd_);
}

FileObject* FileOf(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : FromHandle<FileObject>(handle);
}

std::string ExistingPathOf(LPCWSTR name) {
    std::string spelled = SpelledWindowsPath(name);
    struct stat info {};
    return lstat(spelled.c_str(), &info) == 0 ? spelled : MapMissingWindowsPath(name);
}

std::string FolderOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

DWORD FileErrorOf(int error, const std::string& path) {
    switch (error) {
        case ENOENT: {
            struct stat folder {};
            return stat(FolderOf(path).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                                         : ERROR_PATH_NOT_FOUND;
        }
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case ENXIO:
        case ENODEV:
        case EOPNOTSUPP:
        case ETXTBSY: return ERROR_ACCESS_DENIED;
        case ELOOP: return ERROR_CANT_ACCESS_FILE;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EROFS: return ERROR_WRITE_PROTECT;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return ERROR_DISK_FULL;
        case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case ENAMETOOLONG: return ERROR_INVALID_NAME;
        default: return ERROR_INVALID_FUNCTION;
    }
}

std::unique_ptr<FileObject> OpenFileObject(const std::string& path, const FileRequest& request, bool mayCreate,
                                           DWORD& error, bool& existed) {
    // Never through a link, never blocking on a FIFO or device: what is not
    // a regular file (or an allowed folder) is closed before any use. The
    // descriptor can always read, as the sharing marks need; whether the
    // handle may read is the handle's access.
    // O_NOCTTY: a terminal device is refused, never made the worker's.
    const bool writeAccess = (request.access & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0;
    const bool appendOnly = (request.access & FILE_APPEND_DATA) && !(request.access & GENERIC_WRITE);
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | (writeAccess ? O_RDWR : O_RDONLY) |
                      (appendOnly ? O_APPEND : 0);
    const bool creates = mayCreate && request.disposition != OPEN_EXISTING;
    const bool folderAllowed = (request.flags & FILE_FLAG_BACKUP_SEMANTICS) &&
                               (request.disposition == OPEN_EXISTING || request.disposition == OPEN_ALWAYS);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        // O_EXCL first, so that the open knows whether it made the file;
        // no O_TRUNC, as a file is emptied only once sharing allows it.
        int fd = creates ? open(path.c_str(), flags | O_CREAT | O_EXCL, 0644) : -1;
        const bool created = fd >= 0;
        const int createError = errno;
        // The name of a file whose deletion is pending stays taken while a
        // handle holds the file; the deletion of one that nothing holds any
        // more is finished here.
        if (creates && !created && createError == EEXIST && request.disposition == CREATE_NEW &&
            IsDeletePending(path) && FinishPendingDeletion(path))
            continue;
        if (creates && !created && (createError != EEXIST || request.disposition == CREATE_NEW)) {
            error = FileErrorOf(createError, path);
            return nullptr;
        }
        if (created) JournalFileOperation("create", path);
        if (fd < 0) {
            fd = open(path.c_str(), flags);
            if (fd < 0 && errno == EISDIR && folderAllowed)
                fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
            if (fd < 0 && errno == ENOENT && creates) continue;  // deleted since O_EXCL found it
            if (fd < 0) {
                error = FileErrorOf(errno, path);
                return nullptr;
            }
        }
        Descriptor owner(fd);
        struct stat info {};
        if (fstat(fd, &info) != 0) {
            error = FileErrorOf(errno, path);
            return nullptr;
        }
        const bool folder = S_ISDIR(info.st_mode);
        if (!S_ISREG(info.st_mode) && !(folder && folderAllowed)) {
            error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        // A read-only file is not written, even by an administrator.
        const bool writes = writeAccess || request.disposition == CREATE_ALWAYS;
        if (!folder && writes && !(info.st_mode & S_IWUSR)) {
            error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        {
            SharingGuard guard(fd);
            if (!guard.Held()) {
                error = ERROR_SHARING_VIOLATION;
                return nullptr;
            }
            if (IsDeletePending(fd)) {
                if (OpenElsewhere(fd)) {
                    error = ERROR_ACCESS_DENIED;
                    return nullptr;
                }
                // Every handle ended without closing: the deletion is done
                // now, and the name opened again.
                RemoveNameIfLast(fd, path);
                continue;
            }
            if (!StillNamed(fd, path)) continue;  // renamed over or deleted since the open
            error = TakeShareMarks(fd, SharedRightsOf(request.access), request.share);
            if (error != 0) return nullptr;
        }
        if (request.disposition == CREATE_ALWAYS && !created) {
            if (ftruncate(fd, 0) != 0) {
                error = FileErrorOf(errno, path);
                return nullptr;
            }
            JournalTruncate(path, 0);
        }
        existed = !created;
        return std::make_unique<FileObject>(owner.Release(), path, request.access, folder);
    }
    error = ERROR_SHARING_VIOLATION;
    return nullptr;
}

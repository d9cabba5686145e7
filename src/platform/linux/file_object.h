// The file handle of the Linux substitute and the open that makes it, as
// CreateFileW, DeleteFileW and MoveFileExW share them (see file_api.h).
#pragma once

#include <memory>
#include <string>

#include "file_api.h"
#include "kernel_object.h"

class FileObject : public KernelObject {
public:
    FileObject(int fd, std::string path, DWORD access, bool folder)
        : fd_(fd), path_(std::move(path)), access_(access), folder_(folder) {}
    // Closes the descriptor; the last handle of a file whose deletion is
    // pending removes its name first.
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;
    int Fd() const { return fd_; }
    // The Linux path the file was opened by.
    const std::string& Path() const { return path_; }
    bool CanRead() const { return (access_ & GENERIC_READ) != 0; }
    bool CanWrite() const { return (access_ & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0; }
    // Whether each write goes to the file's end (O_APPEND).
    bool Appends() const { return (access_ & FILE_APPEND_DATA) && !(access_ & GENERIC_WRITE); }
    bool IsFolder() const { return folder_; }

private:
    int fd_;
    std::string path_;
    DWORD access_;
    bool folder_;
};

// The file of a handle; null for another kind of handle.
FileObject* FileOf(HANDLE handle);

struct FileRequest {
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD flags;
};

// Opens the Linux path as CreateFileW does (sharing, links, devices,
// pending deletions, the journal), without the letter-case look-ups. With
// mayCreate false, a missing file stays missing (2) whatever the
// disposition. On failure returns null with error set to the Win32 error;
// existed tells whether the file was there before.
std::unique_ptr<FileObject> OpenFileObject(const std::string& path, const FileRequest& request, bool mayCreate,
                                           DWORD& error, bool& existed);

// The Win32 error of an errno from a call on path: ENOENT is 2 when path's
// folder exists, else 3.
DWORD FileErrorOf(int error, const std::string& path);

// The Linux path of an entry that a call expects to exist: as spelled when
// that exists, else as MapWindowsPath finds it ignoring letter case.
std::string ExistingPathOf(LPCWSTR name);

// The folder part of a Linux path ("." for a bare name).
std::string FolderOf(const std::string& path);

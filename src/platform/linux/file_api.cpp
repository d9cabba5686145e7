#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "drive_map.h"
#include "file_attributes.h"
#include "folder_entries.h"
#include "kernel_object.h"
#include "letter_case.h"
#include "utf.h"

namespace {

// A folder's descriptor, closed with this.
class FolderDescriptor {
public:
    explicit FolderDescriptor(int fd) : fd_(fd) {}
    ~FolderDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    FolderDescriptor(const FolderDescriptor&) = delete;
    FolderDescriptor& operator=(const FolderDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// The folder of a search, opened as spelled when it has that spelling and
// else as MapWindowsPath finds it.
int OpenFolder(const WCHAR* folderText) {
    return OnSpelledThenMapped(folderText, [](std::string path, bool) {
        if (path.empty()) path.assign(1, '/');
        return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
}

// Wildcard match with '*' and '?', letter case ignored.
bool Matches(const WCHAR* pattern, const WCHAR* name) {
    const WCHAR* star = nullptr;
    const WCHAR* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && UpcaseUnit(*pattern) == UpcaseUnit(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

// The entry name of folder as the search describes it, its details read
// now; false when it is gone since the folder listed it.
bool DescribeEntry(int folder, const char* name, const std::u16string& wide, WIN32_FIND_DATAW& data) {
    struct stat info {};
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) return false;
    data = WIN32_FIND_DATAW{};
    struct stat target {};
    const bool linkToFolder =
        S_ISLNK(info.st_mode) && fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    data.dwFileAttributes = AttributesOf(info, linkToFolder);
    data.ftCreationTime = FileTimeOf(info.st_ctim);
    data.ftLastAccessTime = FileTimeOf(info.st_atim);
    data.ftLastWriteTime = FileTimeOf(info.st_mtim);
    if (S_ISREG(info.st_mode)) {
        unsigned long long size = static_cast<unsigned long long>(info.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size);
    }
    std::size_t length = std::min<std::size_t>(wide.size(), MAX_PATH - 1);
    std::copy_n(wide.begin(), length, data.cFileName);
    return true;
}

DWORD Win32ErrorOfFolder(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_PATH_NOT_FOUND;
    }
}

// A search reads the folder as its entries are asked for, in the order the
// file system lists them: a folder of any size costs the same memory.
class DirectorySearch : public KernelObject {
public:
    DirectorySearch(int folder, std::u16string pattern)
        : folder_(folder), reader_(folder), pattern_(std::move(pattern)) {}

    // The next entry whose name matches; false at the end of the folder
    // (error ERROR_NO_MORE_FILES) or when it could not be read further.
    bool Next(WIN32_FIND_DATAW& data, DWORD& error) {
        while (const char* name = reader_.Next()) {
            const std::u16string wide = Utf8ToUtf16(name, std::strlen(name));
            if (Matches(pattern_.c_str(), wide.c_str()) && DescribeEntry(folder_.Get(), name, wide, data)) return true;
        }
        error = reader_.Error() == 0 ? ERROR_NO_MORE_FILES : Win32ErrorOfFolder(reader_.Error());
        return false;
    }

private:
    FolderDescriptor folder_;
    FolderEntryReader reader_;
    std::u16string pattern_;
};

}  // namespace

BOOL PathFileExistsW(LPCWSTR pszPath) {
    if (!pszPath || !*pszPath) return FALSE;
    struct stat info;
    return stat(MapWindowsPath(pszPath).c_str(), &info) == 0 ? TRUE : FALSE;
}

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (!lpFileName || !*lpFileName || !lpFindFileData) {
        SetLastError(!lpFindFileData ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string text(lpFileName);
    std::size_t separator = text.find_last_of(u"\\/");
    std::u16string folderText = separator == std::u16string::npos ? u"." : text.substr(0, separator + 1);
    std::u16string pattern = separator == std::u16string::npos ? text : text.substr(separator + 1);
    if (pattern == u"*.*") pattern.assign(1, u'*');  // every name, with or without a dot, as on Windows
    const int folder = OpenFolder(folderText.c_str());
    if (folder < 0) {
        SetLastError(Win32ErrorOfFolder(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_unique<DirectorySearch>(folder, std::move(pattern));
    DWORD error = 0;
    if (!search->Next(*lpFindFileData, error)) {
        SetLastError(error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : error);
        return INVALID_HANDLE_VALUE;
    }
    return ToHandle(search.release());
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    DirectorySearch* search = hFindFile == INVALID_HANDLE_VALUE ? nullptr : FromHandle<DirectorySearch>(hFindFile);
    if (!search || !lpFindFileData) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD error = 0;
    if (search->Next(*lpFindFileData, error)) return TRUE;
    SetLastError(error);
    return FALSE;
}

BOOL FindClose(HANDLE hFindFile) {
    DirectorySearch* search = hFindFile == INVALID_HANDLE_VALUE ? nullptr : FromHandle<DirectorySearch>(hFindFile);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete search;
    return TRUE;
}

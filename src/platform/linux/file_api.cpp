#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../platform.h"
#include "drive_map.h"
#include "file_attributes.h"
#include "folder_entries.h"
#include "kernel_object.h"
#include "letter_case.h"
#include "utf.h"

namespace {

class DirectorySearch : public KernelObject {
public:
    std::vector<WIN32_FIND_DATAW> entries;
    std::size_t next = 0;
};

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

bool LessIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](WCHAR x, WCHAR y) { return UpcaseUnit(x) < UpcaseUnit(y); });
}

WIN32_FIND_DATAW EntryOf(int folder, const std::string& name) {
    WIN32_FIND_DATAW data{};
    struct stat info {};
    fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
    struct stat target {};
    const bool linkToFolder =
        S_ISLNK(info.st_mode) && fstatat(folder, name.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode);
    data.dwFileAttributes = AttributesOf(info, linkToFolder);
    data.ftCreationTime = FileTimeOf(info.st_ctim);
    data.ftLastAccessTime = FileTimeOf(info.st_atim);
    data.ftLastWriteTime = FileTimeOf(info.st_mtim);
    if (S_ISREG(info.st_mode)) {
        unsigned long long size = static_cast<unsigned long long>(info.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size);
    }
    std::u16string wide = Utf8ToUtf16(name.data(), name.size());
    std::size_t length = std::min<std::size_t>(wide.size(), MAX_PATH - 1);
    std::copy_n(wide.begin(), length, data.cFileName);
    return data;
}

DWORD Win32ErrorOfFolder(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_PATH_NOT_FOUND;
    }
}

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
    FolderDescriptor folder(OpenFolder(folderText.c_str()));
    if (folder.Get() < 0) {
        SetLastError(Win32ErrorOfFolder(errno));
        return INVALID_HANDLE_VALUE;
    }
    // The matching names, in UTF-16 for order and in UTF-8 for stat.
    std::vector<std::pair<std::u16string, std::string>> names;
    const bool read = ForEachFolderEntry(folder.Get(), [&](const char* entry) {
        std::u16string wide = Utf8ToUtf16(entry, std::strlen(entry));
        if (Matches(pattern.c_str(), wide.c_str())) names.emplace_back(std::move(wide), entry);
    });
    if (!read) {
        SetLastError(Win32ErrorOfFolder(errno));
        return INVALID_HANDLE_VALUE;
    }
    // "." and ".." first, then the names in the order NTFS keeps them.
    auto rank = [](const std::u16string& name) { return name == u"." ? 0 : name == u".." ? 1 : 2; };
    std::sort(names.begin(), names.end(), [&](const auto& a, const auto& b) {
        return rank(a.first) != rank(b.first) ? rank(a.first) < rank(b.first) : LessIgnoringCase(a.first, b.first);
    });

    auto search = std::make_unique<DirectorySearch>();
    for (const auto& name : names) search->entries.push_back(EntryOf(folder.Get(), name.second));
    if (search->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = search->entries[0];
    search->next = 1;
    return ToHandle(search.release());
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    DirectorySearch* search = hFindFile == INVALID_HANDLE_VALUE ? nullptr : FromHandle<DirectorySearch>(hFindFile);
    if (!search || !lpFindFileData) {
        SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = search->entries[search->next++];
    return TRUE;
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

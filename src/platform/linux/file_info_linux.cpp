// Attributes and file information of the Linux substitute (see file_api.h).
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "file_attributes.h"
#include "file_object.h"
#include "file_sharing.h"

DWORD AttributesOf(const struct stat& entry, bool pointsAtFolder) {
    if (S_ISLNK(entry.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT | (pointsAtFolder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    if (!S_ISREG(entry.st_mode) && !S_ISDIR(entry.st_mode)) return FILE_ATTRIBUTE_DEVICE;
    DWORD attributes = S_ISDIR(entry.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (!(entry.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

bool IsLinkToFolder(const struct stat& entry, const char* path) {
    struct stat target {};
    return S_ISLNK(entry.st_mode) && stat(path, &target) == 0 && S_ISDIR(target.st_mode);
}

FILETIME FileTimeOf(const timespec& time) {
    // 100-nanosecond steps since 1601-01-01.
    const long long kSecondsFrom1601To1970 = 11644473600LL;
    unsigned long long steps =
        static_cast<unsigned long long>(time.tv_sec + kSecondsFrom1601To1970) * 10000000ULL + time.tv_nsec / 100;
    return FILETIME{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::string path = ExistingPathOf(lpFileName);
    struct stat entry {};
    if (lstat(path.c_str(), &entry) != 0) {
        SetLastError(FileErrorOf(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    // A file whose deletion is pending cannot be opened, so Windows cannot
    // read its attributes either.
    if (S_ISREG(entry.st_mode) && IsDeletePending(path)) {
        SetLastError(FinishPendingDeletion(path) ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(entry, IsLinkToFolder(entry, path.c_str()));
}

BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    FileObject* file = FileOf(hFile);
    if (!file || !lpFileInformation) {
        SetLastError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    struct stat info {};
    if (fstat(file->Fd(), &info) != 0) {
        SetLastError(FileErrorOf(errno, file->Path()));
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION& out = *lpFileInformation;
    out = BY_HANDLE_FILE_INFORMATION{};
    out.dwFileAttributes = AttributesOf(info, false);
    out.ftCreationTime = FileTimeOf(info.st_ctim);
    out.ftLastAccessTime = FileTimeOf(info.st_atim);
    out.ftLastWriteTime = FileTimeOf(info.st_mtim);
    const unsigned long long device = info.st_dev, index = info.st_ino, size = info.st_size;
    out.dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    if (!S_ISDIR(info.st_mode)) {
        out.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        out.nFileSizeLow = static_cast<DWORD>(size);
    }
    out.nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    out.nFileIndexHigh = static_cast<DWORD>(index >> 32);
    out.nFileIndexLow = static_cast<DWORD>(index);
    return TRUE;
}

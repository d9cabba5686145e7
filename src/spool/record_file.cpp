#include "platform/wide_string.h"
#include "spool/record_file.h"

#include "platform/plain_file.h"
#include "platform/scoped_resource.h"
#include "spool/spool_folder.h"

namespace {

bool WriteWhole(HANDLE file, const std::string& bytes) {
    DWORD put = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
}

// Whether a deletion took the name away: on Windows a file that another
// program holds open (with delete sharing) keeps its name until it is
// closed, and a power loss meanwhile brings it back.
bool IsGone(const WideString& path) {
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
           (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
}

}  // namespace

ScopedHandle MakeTemporaryFile(const WideString& folder, const WideString& temporaryName) {
    return ScopedHandle(CreateFileW(SpoolPath(folder, temporaryName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool ReserveRecordSpace(HANDLE file) {
    return WriteWhole(file, std::string(kMostRecordBytes, ' '));
}

bool WriteFileDurably(const WideString& folder, const WideString& temporaryName, const WideString& name,
                      const std::string& bytes, ScopedHandle reserved) {
    const WideString temporary = SpoolPath(folder, temporaryName);
    bool written;
    {
        // Over the reserved space from its start, ended where the record ends.
        const bool reuses = static_cast<bool>(reserved);
        ScopedHandle file = reuses ? std::move(reserved) : MakeTemporaryFile(folder, temporaryName);
        if (!file) return false;
        written = (!reuses || SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == 0) &&
                  WriteWhole(file.Get(), bytes) && (!reuses || SetEndOfFile(file.Get())) &&
                  FlushFileBuffers(file.Get());
    }
    if (written && MoveFileExW(temporary.c_str(), SpoolPath(folder, name).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

bool SetAsideFile(const WideString& folder, const WideString& name) {
    return MoveFileExW(SpoolPath(folder, name).c_str(), SpoolPath(folder, SetAsideFileName(name)).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

RecordRead ReadRecordFile(const WideString& path, std::string& bytes) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return RecordRead::Unavailable;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.Get(), &information)) return RecordRead::Unavailable;
    // A second name would be a file of somewhere else that was linked here.
    if (!IsPlainFileAttributes(information.dwFileAttributes) || information.nNumberOfLinks != 1 ||
        information.nFileSizeHigh != 0 || information.nFileSizeLow > kMostRecordBytes)
        return RecordRead::NotARecord;
    bytes.assign(kMostRecordBytes + 1, '\0');
    DWORD total = 0;
    while (total < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), &bytes[total], static_cast<DWORD>(bytes.size()) - total, &got, nullptr))
            return RecordRead::Unavailable;
        if (got == 0) break;
        total += got;
    }
    if (total > kMostRecordBytes) return RecordRead::NotARecord;
    bytes.resize(total);
    return RecordRead::Read;
}

std::size_t DeleteInOrder(const WideString& folder, const std::vector<WideString>& names, bool lastIsNewest) {
    std::size_t deleted = 0;
    for (const WideString& name : names) {
        const WideString path = SpoolPath(folder, name);
        // One that is gone already (delivered by another job) counts as
        // deleted. Whether a deletion that succeeded took the name away
        // matters only while newer files follow: the job's newest, held
        // back, is what a power loss may keep.
        const bool last = lastIsNewest && deleted + 1 == names.size();
        const bool gone = DeleteFileW(path.c_str())
                              ? last || IsGone(path)
                              : GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
        if (!gone) break;
        ++deleted;
    }
    return deleted;
}

#include "joblog/log_file.h"

#include "platform/text_format.h"
#include "platform/wide_string.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// Everyone may read, append to, rename or delete the log while it is open,
// so that no worker keeps another from its log or from rotating it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenForAppending(const WideString& path) {
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

unsigned long long SizeOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return 0;
    return (static_cast<unsigned long long>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
}

// Puts a new log, holding only its byte-order mark, in place when there is
// none: written under a name of this process's own and renamed without
// replacing, so that no worker ever appends to a log whose mark is not yet
// written, and of two workers making it at once one wins.
void MakeLog(const WideString& folder, const WideString& path) {
    WCHAR name[64] = {};
    FormatTruncated(name, TEXT("\\PatchWorker.%u.new"), static_cast<unsigned>(GetCurrentProcessId()));
    const WideString fresh = folder + name;
    {
        ScopedHandle file(
            CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        DWORD written = 0;
        if (!WriteFile(file.Get(), kByteOrderMark, 3, &written, nullptr) || written != 3) {
            file.Reset();
            DeleteFileW(fresh.c_str());
            return;
        }
    }
    if (!MoveFileExW(fresh.c_str(), path.c_str(), 0)) DeleteFileW(fresh.c_str());
}

}  // namespace

LogFile::LogFile(const WideString& folder, unsigned long long rotationBytes) {
    if (folder.empty()) return;
    const WideString path = folder + TEXT("\\") + kLogFileName;
    file_.Reset(OpenForAppending(path));
    if (file_ && SizeOf(file_.Get()) >= rotationBytes) {
        // Renamed while this worker and others hold it: they all share
        // its deletion. One that another program holds stays as it is.
        file_.Reset();
        const WideString rotated = folder + TEXT("\\") + kRotatedLogFileName;
        MoveFileExW(path.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING);
        file_.Reset(OpenForAppending(path));
    }
    if (!file_ && GetLastError() == ERROR_FILE_NOT_FOUND) {
        MakeLog(folder, path);
        file_.Reset(OpenForAppending(path));
    }
}

void LogFile::Append(const std::string& lines) {
    if (!file_ || lines.empty()) return;
    DWORD written = 0;
    WriteFile(file_.Get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

#include "deploy/msu_file_name.h"

#include "deploy/letter_case.h"
#include "platform/text_format.h"

namespace {

// An open directory search, closed on every way out.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (IsOpen()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

private:
    HANDLE handle_;
};

// A standalone update package is named *.msu, in any letter case.
bool HasMsuExtension(const WCHAR* name) {
    const std::size_t length = WideLength(name);
    return length >= 4 && EqualsIgnoringLetterCase(name + length - 4, TEXT(".msu"));
}

}  // namespace

std::basic_string<WCHAR> GetMsuFileName(LPCWSTR installDir, LPCWSTR jobId) {
    std::basic_string<WCHAR> fileName;
    WCHAR pattern[256] = {};
    FormatTruncated(pattern, TEXT("%s\\%s\\*"), installDir, jobId);

    WIN32_FIND_DATAW entry = {};
    FindHandle search(FindFirstFileW(pattern, &entry));
    if (!search.IsOpen()) return fileName;
    do {
        if (HasMsuExtension(entry.cFileName)) {
            fileName = entry.cFileName;
            break;
        }
        // ERROR_NO_MORE_FILES and every other failure alike end the search.
    } while (FindNextFileW(search.Get(), &entry));
    return fileName;
}

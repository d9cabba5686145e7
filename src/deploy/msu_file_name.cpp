#include "deploy/msu_file_name.h"

#include "deploy/letter_case.h"
#include "platform/scoped_resource.h"
#include "platform/text_format.h"

namespace {

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
    ScopedFindHandle search(FindFirstFileW(pattern, &entry));
    if (!search) return fileName;
    do {
        if (HasMsuExtension(entry.cFileName)) {
            fileName = entry.cFileName;
            break;
        }
        // ERROR_NO_MORE_FILES and every other failure alike end the search.
    } while (FindNextFileW(search.Get(), &entry));
    return fileName;
}

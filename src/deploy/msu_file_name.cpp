#include "deploy/msu_file_name.h"

#include <algorithm>

#include "deploy/job_file_names.h"
#include "deploy/letter_case.h"
#include "platform/plain_file.h"
#include "platform/scoped_resource.h"
#include "platform/text_format.h"
#include "platform/wide_string.h"

namespace {

// A standalone update package is named *.msu, in any letter case.
bool HasMsuExtension(const WCHAR* name) {
    const std::size_t length = WideLength(name);
    return length >= 4 && EqualsIgnoringLetterCase(name + length - 4, TEXT(".msu"));
}

bool IsPackage(const WIN32_FIND_DATAW& entry) {
    return IsPlainFileAttributes(entry.dwFileAttributes) && IsNameOfOneEntry(entry.cFileName) &&
           HasMsuExtension(entry.cFileName);
}

WCHAR UpperLatinLetter(WCHAR c) {
    return (c >= TEXT('a') && c <= TEXT('z')) ? static_cast<WCHAR>(c - TEXT('a') + TEXT('A')) : c;
}

// Whether name comes before other: ASCII letters compared in upper case, as
// NTFS lists names of such letters, then, for names that differ only in
// letter case, as spelled. NTFS upper-cases beyond ASCII as well, and other
// file systems list names in an order of their own.
bool ListedBefore(const WideString& name, const WideString& other) {
    const auto upper = [](WCHAR a, WCHAR b) { return UpperLatinLetter(a) < UpperLatinLetter(b); };
    if (std::lexicographical_compare(name.begin(), name.end(), other.begin(), other.end(), upper)) return true;
    if (std::lexicographical_compare(other.begin(), other.end(), name.begin(), name.end(), upper)) return false;
    return name < other;
}

}  // namespace

WideString GetMsuFileName(LPCWSTR installDir, LPCWSTR jobId) {
    WideString fileName;
    WCHAR pattern[256] = {};
    FormatTruncated(pattern, TEXT("%s\\%s\\*"), installDir, jobId);

    WIN32_FIND_DATAW entry = {};
    ScopedFindHandle search(FindFirstFileW(pattern, &entry));
    if (!search) return fileName;
    // Every entry is looked at, so that the choice among several packages
    // does not depend on the order of the search.
    do {
        if (IsPackage(entry) && (fileName.empty() || ListedBefore(entry.cFileName, fileName)))
            fileName = entry.cFileName;
    } while (FindNextFileW(search.Get(), &entry));
    // A search that failed midway has not seen every entry.
    if (GetLastError() != ERROR_NO_MORE_FILES) fileName.clear();
    return fileName;
}

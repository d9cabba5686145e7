#include "platform/wide_string.h"
#include "spool/spool_listing.h"

#include "platform/plain_file.h"
#include "platform/scoped_resource.h"
#include "spool/spool_folder.h"

namespace {

// Seconds since 1970 of a file time (100-nanosecond steps since 1601).
std::time_t UnixSecondsOf(const FILETIME& time) {
    const long long kStepsFrom1601To1970 = 116444736000000000LL;
    unsigned long long steps = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<std::time_t>((static_cast<long long>(steps) - kStepsFrom1601To1970) / 10000000LL);
}

}  // namespace

void ForEachSpoolFile(const WideString& folder, const WideString& pattern,
                      const std::function<void(SpoolEntry&&)>& visit) {
    WIN32_FIND_DATAW data{};
    ScopedFindHandle search(FindFirstFileW(SpoolPath(folder, pattern).c_str(), &data));
    if (!search) return;
    do {
        WideString name(data.cFileName);
        if (std::optional<SpoolFileName> file = ParseSpoolFileName(name))
            visit({std::move(name), *file, data.dwFileAttributes, UnixSecondsOf(data.ftLastWriteTime)});
    } while (FindNextFileW(search.Get(), &data));
}

std::vector<SpoolEntry> ListSpoolFiles(const WideString& folder, const WideString& pattern) {
    std::vector<SpoolEntry> entries;
    ForEachSpoolFile(folder, pattern, [&entries](SpoolEntry&& entry) { entries.push_back(std::move(entry)); });
    return entries;
}

bool IsPlainFile(const SpoolEntry& entry) {
    return IsPlainFileAttributes(entry.attributes);
}

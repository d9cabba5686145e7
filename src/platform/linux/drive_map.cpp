#include "drive_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "folder_entries.h"
#include "letter_case.h"
#include "utf.h"

namespace {

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// An ASCII name equals only its ASCII letter-case variants (no mapping
// leads into ASCII): up to this many letters, they are looked up one by one
// in a large folder, so that a look-up does not read a folder of any size
// whole. A small one (its size, as the file system gives it, within a few
// blocks) is read at less cost.
constexpr std::size_t kMostProbedLetters = 8;
constexpr off_t kSmallFolderBytes = 32 * 1024;

// EntryIgnoringCase by looking up each letter-case variant of an ASCII name:
// nothing when the name is not such, the folder is small, or a look-up fails
// for another reason than a missing entry.
std::optional<std::string> ProbedEntryIgnoringCase(const std::string& folder, const std::string& name) {
    std::vector<std::size_t> letters;
    for (std::size_t at = 0; at < name.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(name[at]);
        if (c >= 0x80) return std::nullopt;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) letters.push_back(at);
    }
    struct stat info;
    // A folder that is not there (as spelled) is left to the reading.
    if (letters.size() > kMostProbedLetters || stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_size <= kSmallFolderBytes)
        return std::nullopt;
    std::string found;
    for (unsigned long variant = 0; variant < (1ul << letters.size()); ++variant) {
        std::string candidate = name;
        for (std::size_t bit = 0; bit < letters.size(); ++bit) {
            char& c = candidate[letters[bit]];
            c = (variant >> bit) & 1 ? static_cast<char>(c & ~0x20) : static_cast<char>(c | 0x20);
        }
        if (lstat((folder + candidate).c_str(), &info) != 0) {
            if (errno != ENOENT) return std::nullopt;
            continue;
        }
        if (candidate == name) return name;
        if (found.empty() || candidate < found) found = candidate;
    }
    return found;
}

// The entry of folder whose name equals name ignoring letter case: empty
// when there is none, nothing when the folder cannot be read. Of several
// (Linux allows "a" beside "A"), the one spelled as name is taken, else the
// first in byte order, so the choice does not depend on the order in which
// the folder lists them. A name that is not well-formed UTF-8 only matches
// itself: its stand-in characters would make unlike names equal. Most
// look-ups are of a name that does not exist yet, and reading the folder is
// their whole cost.
std::optional<std::string> EntryIgnoringCase(const std::string& folder, const std::string& name) {
    if (std::optional<std::string> probed = ProbedEntryIgnoringCase(folder, name)) return probed;
    const std::u16string wanted = Utf8ToUtf16(name.data(), name.size());
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string found;
    if (wanted.find(u'\uFFFD') == std::u16string::npos) {
        ForEachFolderEntry(fd, [&](const char* entry) {
            const std::string candidate = entry;
            const std::u16string wide = Utf8ToUtf16(candidate.data(), candidate.size());
            if (wide.find(u'\uFFFD') == std::u16string::npos && EqualIgnoringCase(wide, wanted) && found != name &&
                (found.empty() || candidate == name || candidate < found)) {
                found = candidate;
            }
        });
    }
    close(fd);
    return found;
}

// Appends the components of rest (separated by '/') to folder, which ends
// with '/', each spelled as on disk when only its letter case differs. From
// the first component that does not exist at all, the rest is appended as
// given. missingAsGiven: the whole path is known not to exist as given.
std::string ResolveLetterCase(std::string folder, const std::string& rest, bool missingAsGiven) {
    // A path that exists as given, or whose folder does, needs no look at
    // the folders on its way: each of them exists as given. Most paths are
    // such, and one lstat then replaces one per component.
    const std::string whole = folder + rest;
    if (!missingAsGiven && Exists(whole)) return whole;
    const std::size_t last = rest.rfind('/');
    const std::string name = rest.substr(last == std::string::npos ? 0 : last + 1);
    if (last != std::string::npos && !name.empty() && name != "." && name != "..") {
        const std::string parent = folder + rest.substr(0, last + 1);
        const std::optional<std::string> onDisk = EntryIgnoringCase(parent, name);
        if (onDisk) return parent + (onDisk->empty() ? name : *onDisk);
    }
    bool resolving = true;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = rest.find('/', start);
        std::string component = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (resolving && !component.empty() && component != "." && component != ".." && !Exists(folder + component)) {
            std::string onDisk = EntryIgnoringCase(folder, component).value_or(std::string());
            resolving = !onDisk.empty();
            if (resolving) component = onDisk;
        }
        folder += component;
        if (end == std::string::npos) return folder;
        folder += '/';
        start = end + 1;
    }
}

// The drive's folder and the rest of path below it, with slashes; no drive
// folder (an empty first) for a path without a drive letter.
std::pair<std::string, std::string> SplitAtDrive(const std::string& path) {
    std::string rest;
    rest.reserve(path.size());
    bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                    ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    for (std::size_t i = hasDrive ? 2 : 0; i < path.size(); ++i) rest += path[i] == '\\' ? '/' : path[i];
    if (!hasDrive) return {std::string(), rest};

    const char* root = std::getenv("WORKER_DRIVE_ROOT");
    std::string drive = root && *root ? root : "";
    while (!drive.empty() && drive.back() == '/') drive.pop_back();
    drive += '/';
    drive += static_cast<char>(path[0] >= 'a' ? path[0] - 'a' + 'A' : path[0]);
    return {drive, rest};
}

// The rest of a drive-letter path as the entry below the drive's folder:
// D:\x and D:x both name the drive folder's entry x.
std::string BelowDrive(const std::string& rest) {
    return rest[0] == '/' ? rest.substr(1) : rest;
}

std::string MapWindowsPath(const std::string& path, bool missingAsGiven) {
    auto [drive, rest] = SplitAtDrive(path);
    if (drive.empty()) return rest;
    if (rest.empty()) return drive;
    return ResolveLetterCase(drive + "/", BelowDrive(rest), missingAsGiven);
}

}  // namespace

std::string MapWindowsPath(const std::string& path) {
    return MapWindowsPath(path, false);
}

std::string MapWindowsPath(const WCHAR* path) {
    return MapWindowsPath(Utf16ToUtf8(path, WideLengthOf(path)), false);
}

std::string MapMissingWindowsPath(const WCHAR* path) {
    return MapWindowsPath(Utf16ToUtf8(path, WideLengthOf(path)), true);
}

std::string SpelledWindowsPath(const WCHAR* path) {
    auto [drive, rest] = SplitAtDrive(Utf16ToUtf8(path, WideLengthOf(path)));
    if (drive.empty()) return rest;
    if (rest.empty()) return drive;
    return drive + "/" + BelowDrive(rest);
}

// The file-operation journal (see file_journal.h).
#include "file_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

const char kJournalVariable[] = "WORKER_FILE_OPS_JOURNAL";

// The journal's file; null when no journal is kept.
const char* JournalPath() {
    const char* journal = std::getenv(kJournalVariable);
    return journal && *journal ? journal : nullptr;
}

bool Journaling() {
    return JournalPath() != nullptr;
}

// Appends line to the journal, in one write.
void Journal(const std::string& line) {
    const char* journal = JournalPath();
    if (!journal) return;
    const std::string whole = line + "\n";
    int fd = open(journal, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, whole.data(), whole.size()) < 0) {
        // The journal only serves tests; the operation does not fail for it.
    }
    close(fd);
}

std::string Field(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        char* current = getcwd(nullptr, 0);
        if (current) absolute = std::string(current) + "/" + path;
        std::free(current);
    }
    std::string field;
    for (unsigned char c : absolute) {
        if (c == '%' || c == ' ' || c < 0x20 || c == 0x7F) {
            field += '%';
            field += kUpperHexDigits[c >> 4];
            field += kUpperHexDigits[c & 0xF];
        } else {
            field += static_cast<char>(c);
        }
    }
    return field;
}

}  // namespace

void JournalFileOperation(const char* operation, const std::string& path) {
    if (Journaling()) Journal(std::string(operation) + " " + Field(path));
}

void JournalRename(const std::string& from, const std::string& to) {
    if (Journaling()) Journal("rename " + Field(from) + " " + Field(to));
}

void JournalTruncate(const std::string& path, unsigned long long size) {
    if (Journaling()) Journal("truncate " + Field(path) + " " + std::to_string(size));
}

void JournalWrite(const std::string& path, unsigned long long offset, const void* bytes, std::size_t count) {
    if (!Journaling() || count == 0) return;
    std::string line = "write " + Field(path) + " " + std::to_string(offset) + " ";
    line.reserve(line.size() + 2 * count + 1);
    const auto* data = static_cast<const unsigned char*>(bytes);
    for (std::size_t at = 0; at < count; ++at) {
        line += kHexDigits[data[at] >> 4];
        line += kHexDigits[data[at] & 0xF];
    }
    Journal(line);
}

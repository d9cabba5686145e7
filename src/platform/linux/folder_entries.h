// A folder's names read with getdents64 a buffer at a time, as they are
// asked for: no directory stream, and memory that does not grow with the
// folder, which is all the substitute's look-ups and searches need.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cerrno>

// The names of the folder open as fd ("." and ".." included), in the order
// the file system lists them.
class FolderEntryReader {
public:
    explicit FolderEntryReader(int fd) : fd_(fd) {}
    FolderEntryReader(const FolderEntryReader&) = delete;
    FolderEntryReader& operator=(const FolderEntryReader&) = delete;

    // The next name, valid until the next call; null at the end of the
    // folder or when it could not be read further (Error tells which).
    const char* Next() {
        if (at_ >= size_) {
            at_ = 0;
            size_ = getdents64(fd_, entries_, sizeof entries_);
            if (size_ <= 0) {
                error_ = size_ < 0 ? errno : 0;
                size_ = 0;
                return nullptr;
            }
        }
        const dirent64* entry = reinterpret_cast<const dirent64*>(entries_ + at_);
        at_ += entry->d_reclen;
        return entry->d_name;
    }
    // The errno of the read that failed; 0 when the folder was read to its end.
    int Error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
    ssize_t size_ = 0;
    ssize_t at_ = 0;
    alignas(dirent64) char entries_[8192];
};

// Calls visit(name) for each entry of the folder open as fd ("." and ".."
// included); false when the folder could not be read to its end.
template <typename Visit>
bool ForEachFolderEntry(int fd, Visit visit) {
    FolderEntryReader reader(fd);
    while (const char* name = reader.Next()) visit(name);
    return reader.Error() == 0;
}

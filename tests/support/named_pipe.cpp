#include "support/named_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace {

// Only a child that never comes waits this long.
constexpr int kNoWriterLimitMs = 60000;

}  // namespace

NamedPipe::NamedPipe(std::string path) : path_(std::move(path)) {
    if (mkfifo(path_.c_str(), 0666) != 0) throw std::runtime_error("cannot make the named pipe " + path_);
}

NamedPipe::~NamedPipe() {
    unlink(path_.c_str());
}

std::string NamedPipe::ReadFromWriter() {
    // Opened without blocking, the reading end reports neither data nor an
    // end before a writer has come: poll waits for the writer itself.
    int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open the named pipe " + path_);
    std::string text;
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        int ready = poll(&entry, 1, kNoWriterLimitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            close(fd);
            throw std::runtime_error("no writer came to the named pipe " + path_);
        }
        char chunk[512];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
}

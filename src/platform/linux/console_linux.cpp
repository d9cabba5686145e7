#include <csignal>
#include <cerrno>
#include <unistd.h>

#include "platform/platform.h"

void EnterUtf16ConsoleMode() {
    // A parent that stops reading must not kill the worker before it has
    // reported its job: a failed console write is ignored instead.
    std::signal(SIGPIPE, SIG_IGN);
}

void WriteConsoleText(const WCHAR* text, std::size_t length) {
    // UTF-16LE bytes without a byte-order mark; LF becomes CR LF as in the
    // Windows text mode.
    unsigned char bytes[4096];
    std::size_t used = 0;
    auto flush = [&]() {
        std::size_t off = 0;
        while (off < used) {
            ssize_t n = write(STDOUT_FILENO, bytes + off, used - off);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            off += static_cast<std::size_t>(n);
        }
        used = 0;
    };
    for (std::size_t i = 0; i < length; ++i) {
        if (used + 4 > sizeof(bytes)) flush();
        if (text[i] == u'\n') {
            bytes[used++] = '\r';
            bytes[used++] = 0;
        }
        bytes[used++] = static_cast<unsigned char>(text[i] & 0xFF);
        bytes[used++] = static_cast<unsigned char>(text[i] >> 8);
    }
    flush();
}

#include "support/console_capture.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <stdexcept>

ConsoleCapture::ConsoleCapture() {
    char path[] = "/tmp/console-XXXXXX";
    file_ = mkstemp(path);
    if (file_ < 0) throw std::runtime_error("no temporary file for the console");
    unlink(path);
    fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(file_, STDOUT_FILENO);
}

ConsoleCapture::~ConsoleCapture() {
    fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    close(file_);
}

std::string ConsoleCapture::Text() {
    std::string raw;
    char chunk[4096];
    ssize_t n;
    off_t offset = 0;
    while ((n = pread(file_, chunk, sizeof(chunk), offset)) > 0) {
        raw.append(chunk, static_cast<std::size_t>(n));
        offset += n;
    }
    if (raw.size() % 2 != 0) throw std::runtime_error("console output is not whole UTF-16 units");
    std::string text;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        unsigned unit = static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8);
        if (unit < 0x80) {
            text += static_cast<char>(unit);
        } else if (unit < 0x800) {
            text += static_cast<char>(0xC0 | (unit >> 6));
            text += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | (unit >> 12));
            text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return text;
}

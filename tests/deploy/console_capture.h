// Captures what the routines under test print: the worker's console is
// UTF-16LE with CR LF line ends, read back here as plain ASCII text.
#pragma once

#include <gtest/gtest.h>

#include <string>

inline void StartConsoleCapture() { testing::internal::CaptureStdout(); }

inline std::string StopConsoleCapture() {
    const std::string raw = testing::internal::GetCapturedStdout();
    std::string text;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8);
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
}

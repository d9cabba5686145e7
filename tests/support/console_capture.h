// Captures what the code under test writes to standard output (the worker's
// UTF-16 console) and gives it back as UTF-8 text with CR LF line ends kept.
#pragma once

#include <string>

class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Everything written since the capture began.
    std::string Text();

private:
    int saved_ = -1;
    int file_ = -1;
};

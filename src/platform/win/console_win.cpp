#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "platform/platform.h"

void EnterUtf16ConsoleMode() {
    _setmode(_fileno(stdout), _O_U16TEXT);
}

void WriteConsoleText(const WCHAR* text, std::size_t length) {
    // In UTF-16 text mode the C runtime turns each line feed into CR LF.
    fwrite(text, sizeof(WCHAR), length, stdout);
    fflush(stdout);
}

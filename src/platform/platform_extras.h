// The few calls that the platform layer adds to the Windows API: how console
// text leaves the process.
#pragma once

#include <cstddef>

// Makes standard output a UTF-16 text stream (on Windows the C runtime's
// UTF-16 text mode). Called once, before anything is printed.
void EnterUtf16ConsoleMode();

// Writes wide text to standard output as UTF-16 text: every line feed becomes
// a carriage return and a line feed, as the Windows text mode writes it.
void WriteConsoleText(const WCHAR* text, std::size_t length);

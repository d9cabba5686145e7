// The few calls that the platform layer adds to the Windows API: how console
// text leaves the process, and the pause seam.
#pragma once

#include <cstddef>

// Makes standard output a UTF-16 text stream (on Windows the C runtime's
// UTF-16 text mode). Called once, before anything is printed.
void EnterUtf16ConsoleMode();

// Writes wide text to standard output as UTF-16 text: every line feed becomes
// a carriage return and a line feed, as the Windows text mode writes it.
void WriteConsoleText(const WCHAR* text, std::size_t length);

// The worker's pauses go through this seam so that tests can record them
// instead of waiting. The default is the platform's Sleep.
using PauseFunction = void (*)(DWORD milliseconds);
void Pause(DWORD milliseconds);
PauseFunction SetPauseFunction(PauseFunction pause);  // returns the previous one

// The send and receive limit, in seconds, of each status report attempt,
// and the limit of the attempt's whole transfer.
// 120 unless WORKER_TRANSFER_TIMEOUT (seconds) gives a shorter limit for
// tests of a server that never answers.
int StatusTransferTimeoutSeconds();

// The deployment job's time limit in milliseconds: the given limit, except
// that the Linux build takes WORKER_JOB_TIME_LIMIT_MS (milliseconds) instead
// when it is set, so that tests reach the limit without waiting for hours.
DWORD JobTimeLimitMilliseconds(DWORD limit);

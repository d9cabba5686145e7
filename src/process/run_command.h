// Runs a command line as a hidden child process and waits for it.
#pragma once

#include "platform/platform.h"

// Starts commandLine (its first token names the program), waits up to
// timeoutMs and writes the child's exit code as "0x%X" into exitCodeText (256
// characters) when it could be read. message (the job's description buffer
// of kDescriptionCapacity characters, may be null) receives "Execution
// timeout", a fixed text for exit codes 5 and 7, or "Exit Code-->0x..." for
// other failures; a program that could not be started gets the reason that
// ReportInstallerStartFailure writes and prints, and no exit-code text. True
// when the exit-code text equals successCodeText or "0x0". workingDirectory
// may be null.
bool RunCommandAndWait(LPWSTR commandLine, DWORD timeoutMs, LPCWSTR successCodeText, WCHAR* exitCodeText,
                       WCHAR* message, LPCWSTR workingDirectory);

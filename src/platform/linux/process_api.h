// Processes and handles as the worker uses them: starting a program, waiting
// for it with a time limit, reading its exit code and closing handles.
//
// A child that a signal ended reports 128 plus the signal number as its exit
// code, the number a POSIX shell reports for it: the code is non-zero, never
// one of the installer's success codes, and the same whether the program was
// started directly or under the stand-in command interpreter.
//
// Closing a process handle leaves the child running. A child that has ended
// is reaped when its exit code is read or its handle is closed; one that is
// still running when its handle is closed is remembered and reaped (without
// waiting) at the next process start or handle close, so it stays a zombie at
// most until then, or until the worker itself ends.
#pragma once

#include "win_types.h"

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    BYTE* lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

// The worker's standard input, output or error, to hand to a child with
// STARTF_USESTDHANDLES: pseudo handles that stand for descriptors 0, 1 and 2.
// Any other number gives INVALID_HANDLE_VALUE with ERROR_INVALID_HANDLE.
HANDLE GetStdHandle(DWORD nStdHandle);

#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESTDHANDLES 0x00000100
#define SW_HIDE 0
#define SW_SHOW 5
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define ERROR_BAD_EXE_FORMAT 193L

// The command line is split by the Windows rules; its first token names the
// program (see spawn.h for how it is found, and where its standard handles
// come from). Of the start-up information only STARTF_USESTDHANDLES and its
// handles count: there are no windows to show or hide. lpEnvironment
// is a UTF-16 block with CREATE_UNICODE_ENVIRONMENT, else a narrow (UTF-8)
// one. Fails with last error 2 for a program that does not exist, 5 for one
// that may not be run, 267 for a working directory that cannot be entered.
BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation);

// The system folder, where the system's own programs are started from:
// C:\Windows\System32, a folder below $WORKER_DRIVE_ROOT like every drive
// path (see drive_map.h), so that each test puts its stand-in programs there.
// As on Windows, returns the length without the terminator, or the capacity
// needed (terminator included) when uSize is too small; then nothing is
// written.
UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);

// Waits until the process has ended (WAIT_OBJECT_0) or the time has passed
// (WAIT_TIMEOUT); INFINITE waits without limit. Only process handles can be
// waited for; others give WAIT_FAILED with ERROR_INVALID_HANDLE.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// STILL_ACTIVE while the process runs, else its exit code.
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);

// The numbers of this process and of the calling thread (the kernel's
// thread id; the first thread's is the process id).
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();

// Ends any handle of the substitute (process, thread, token, search).
BOOL CloseHandle(HANDLE hObject);

// Ends the process at once with the exit code, whatever its other threads
// are doing: no static destructors and no exit handlers run, as on Windows
// none of the program's own run when another thread calls ExitProcess.
[[noreturn]] void ExitProcess(UINT uExitCode);

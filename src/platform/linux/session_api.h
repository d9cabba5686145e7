// Terminal Services sessions, user tokens, user environments and the start
// of a program under a user's account, as the Linux substitute provides them.
//
// Sessions are the system's login records (utmpx, normally /var/run/utmp;
// the environment variable WORKER_UTMP_FILE names another records file, which
// is how tests log users on). Session 0 is the services session, where no
// user is logged on, as on Windows. After it, every USER_PROCESS and
// DEAD_PROCESS record is a session, in record order, numbered from 1:
// - a USER_PROCESS record whose process is alive is WTSActive;
// - a USER_PROCESS record whose process has gone (left behind by a crash)
//   and a DEAD_PROCESS record (a logged-off line) are WTSDisconnected.
//
// A user token is the identity of the session's user (uid, gid, groups,
// name, home, shell) and the session's display; only a privileged worker
// (effective uid 0) may obtain one, as on Windows only a service may.
#pragma once

#include "win_types.h"

#ifndef WINAPI
#define WINAPI
#endif

struct _SECURITY_ATTRIBUTES;
struct _STARTUPINFOW;
struct _PROCESS_INFORMATION;

// --- Sessions ---

typedef enum _WTS_CONNECTSTATE_CLASS {
    WTSActive,
    WTSConnected,
    WTSConnectQuery,
    WTSShadow,
    WTSDisconnected,
    WTSIdle,
    WTSListen,
    WTSReset,
    WTSDown,
    WTSInit
} WTS_CONNECTSTATE_CLASS;

typedef struct _WTS_SESSION_INFOW {
    DWORD SessionId;
    LPWSTR pWinStationName;  // the record's line (tty1, pts/0, :0); "Services" for session 0
    WTS_CONNECTSTATE_CLASS State;
} WTS_SESSION_INFOW, *PWTS_SESSION_INFOW;

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE) nullptr)

// Lists the sessions of the local server (server WTS_CURRENT_SERVER_HANDLE,
// reserved 0, version 1) in one block that WTSFreeMemory releases. Fails with
// ERROR_INVALID_PARAMETER for other arguments and ERROR_FILE_NOT_FOUND when
// the records file cannot be read.
BOOL WTSEnumerateSessionsW(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* sessionInfo, DWORD* count);
void WTSFreeMemory(PVOID memory);

// The user token of a session's user. Fails with ERROR_PRIVILEGE_NOT_HELD
// when the worker is not privileged, ERROR_FILE_NOT_FOUND for a session that
// does not exist, ERROR_NO_TOKEN for one without a known user (session 0, a
// logged-off line, a name the user database does not know).
BOOL WINAPI WTSQueryUserToken(ULONG sessionId, PHANDLE token);

// --- Run-time lookup of library functions ---

struct HINSTANCE__;
typedef HINSTANCE__* HMODULE;
typedef long long(WINAPI* FARPROC)();

#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800

// Only "Wtsapi32.dll" (any case, the extension optional) is known, and only
// from the system folder (the flags LOAD_LIBRARY_SEARCH_SYSTEM32, no file
// handle; anything else fails with ERROR_INVALID_PARAMETER); it offers
// "WTSQueryUserToken". Any other name fails with ERROR_MOD_NOT_FOUND, any
// other function with ERROR_PROC_NOT_FOUND.
HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// --- Tokens ---

#define TOKEN_ALL_ACCESS 0xF01FFL

typedef enum _SECURITY_IMPERSONATION_LEVEL {
    SecurityAnonymous,
    SecurityIdentification,
    SecurityImpersonation,
    SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL;

typedef enum _TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation } TOKEN_TYPE;

#define ERROR_BAD_TOKEN_TYPE 1349L

// A new token of the same user. Fails with ERROR_INVALID_HANDLE for a handle
// that is not a token.
BOOL DuplicateTokenEx(HANDLE existingToken, DWORD desiredAccess, _SECURITY_ATTRIBUTES* tokenAttributes,
                      SECURITY_IMPERSONATION_LEVEL impersonationLevel, TOKEN_TYPE tokenType, PHANDLE newToken);

// --- User environments ---

// The environment a login of the token's user would have: HOME, USER,
// LOGNAME, SHELL, a default PATH, and the session's DISPLAY and the user's
// XDG_RUNTIME_DIR where they exist. Without a token, only the default PATH.
// With inherit TRUE the worker's own environment comes first and the user's
// values replace its entries. The block is UTF-16 ("K=V\0...\0\0");
// DestroyEnvironmentBlock releases it.
BOOL CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit);
BOOL DestroyEnvironmentBlock(LPVOID environment);

// --- Processes under a user's account ---

// Starts the command line as the token's user (its uid, gid and groups),
// with the given UTF-16 environment block (creation flag
// CREATE_UNICODE_ENVIRONMENT) or, without one, the worker's own. A drive-
// letter program path names a file under WORKER_DRIVE_ROOT. Its standard
// handles are chosen as for CreateProcessW: without inherited handles they
// are the null device. It gets no exit-code descriptor (WORKER_EXIT_CODE_FD).
// Fails with
// ERROR_INVALID_HANDLE for a handle that is not a token, ERROR_BAD_TOKEN_TYPE
// for an impersonation token, and as CreateProcessW does for the program.
BOOL CreateProcessAsUserW(HANDLE token, LPCWSTR applicationName, LPWSTR commandLine,
                          _SECURITY_ATTRIBUTES* processAttributes, _SECURITY_ATTRIBUTES* threadAttributes,
                          BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                          _STARTUPINFOW* startupInfo, _PROCESS_INFORMATION* processInformation);

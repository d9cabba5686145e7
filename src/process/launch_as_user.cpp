#include "process/launch_as_user.h"

#include <vector>

#include "joblog/job_log.h"
#include "platform/console.h"
#include "platform/scoped_resource.h"
#include "process/startup_info.h"
#include "process/writable_copy.h"

namespace {

using QueryUserTokenFunction = BOOL(WINAPI*)(ULONG sessionId, PHANDLE token);

using ScopedSessionList = ScopedResource<PWTS_SESSION_INFOW, WTSFreeMemory>;
using ScopedLibrary = ScopedResource<HMODULE, FreeLibrary>;
using ScopedEnvironment = ScopedResource<LPVOID, DestroyEnvironmentBlock>;

// The first active session, or session 0 when none is active or the sessions
// cannot be listed.
DWORD FirstActiveSessionId() {
    ScopedSessionList sessions;
    DWORD count = 0;
    if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, sessions.Receive(), &count) || !sessions) return 0;
    for (DWORD i = 0; i < count; ++i) {
        if (sessions.Get()[i].State == WTSActive) return sessions.Get()[i].SessionId;
    }
    return 0;
}

// A started program is not watched: its handles are closed at once.
void ReleaseProcessHandles(const PROCESS_INFORMATION& process) {
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
}

// The result of a failed step is its error code; a code that would read as
// "started" (0 or 1) is reported as -1 instead, so no failure counts as a
// start.
int FailureResult(DWORD error) {
    return error == 0 || error == 1 ? -1 : static_cast<int>(error);
}

}  // namespace

HANDLE GetCurrentUserToken() {
    ScopedHandle duplicate;
    try {
        DWORD sessionId = FirstActiveSessionId();
        JobLog(LogType::Information, TEXT("Session chosen: %u (the first active one; 0 when none is)"),
               static_cast<unsigned>(sessionId));

        // From the system folder only: a library of that name in the
        // worker's folder or the current folder is never loaded.
        ScopedLibrary library(LoadLibraryExW(TEXT("Wtsapi32.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!library) return nullptr;
        // void (*)() stands between unrelated function types without a warning.
        auto queryUserToken = reinterpret_cast<QueryUserTokenFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library.Get(), "WTSQueryUserToken")));
        if (!queryUserToken) return nullptr;

        ScopedHandle userToken;
        if (!queryUserToken(sessionId, userToken.Receive())) {
            JobLog(LogType::Warning, TEXT("No user token for session %u: error %d; the worker's own session instead"),
                   static_cast<unsigned>(sessionId), static_cast<int>(GetLastError()));
            ConsolePrint(TEXT("GetCurrentUserToken:: WTSQueryUserToken failed. Error Code :: %d\n"), GetLastError());
            return nullptr;
        }
        if (!DuplicateTokenEx(userToken.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                              duplicate.Receive())) {
            ConsolePrint(TEXT("GetCurrentUserToken:: Failed to make the Duplicate Tockent Info.. Error code %d\n"),
                         GetLastError());
            return nullptr;
        }
        return duplicate.Detach();
    } catch (...) {
        ConsolePrint(TEXT("GetCurrentUserToken:: Exception in Query Tockent\n"));
        return duplicate.Detach();
    }
}

int LaunchProcessAsUser(LPCWSTR commandLine, LPCWSTR workingDirectory) {
    ConsolePrint(TEXT("LaunchProcessAsUser:: entry with the path:: %s\n"), commandLine);
    std::vector<WCHAR> commandCopy = WritableCopy(commandLine);
    std::vector<WCHAR> directoryCopy = WritableCopy(workingDirectory);
    LPCWSTR directory = workingDirectory ? directoryCopy.data() : nullptr;
    try {
        STARTUPINFOW startup = StartupInfoShowing(SW_SHOW);
        PROCESS_INFORMATION process = {};

        ScopedHandle token(GetCurrentUserToken());
        if (!token) {
            ConsolePrint(TEXT("LaunchProcessAsUser:: Getting the current user tocken failed\n"));
            // Without the worker's handles: the tray program outlives the
            // worker, and with them it would keep the worker's console open,
            // so a parent reading the worker's output would wait for it.
            if (!CreateProcessW(nullptr, commandCopy.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                                &process)) {
                DWORD error = GetLastError();
                return EndWithLine(FailureResult(error),
                                   TEXT("LaunchProcessAsUser:: CreateProcess Failed with the error code:: %d\n"), error);
            }
            ReleaseProcessHandles(process);
            return EndWithLine(1, TEXT("LaunchProcessAsUser:: CreateProcess success with out sessionid\n"));
        }

        ScopedEnvironment environment;
        if (!CreateEnvironmentBlock(environment.Receive(), token.Get(), FALSE)) {
            DWORD error = GetLastError();
            return EndWithLine(FailureResult(error),
                               TEXT("LaunchProcessAsUser:: CreateEnvironmentBlock Failed Error code - %d\n"), error);
        }
        BOOL started = CreateProcessAsUserW(token.Get(), nullptr, commandCopy.data(), nullptr, nullptr, FALSE,
                                            CREATE_UNICODE_ENVIRONMENT, environment.Get(), nullptr, &startup, &process);
        if (!started) {
            return EndWithLine(-1, TEXT("LaunchProcessAsUser:: CreateProcessAsUser failed . Error code -- %d, %d\n"),
                               started, GetLastError());
        }
        ReleaseProcessHandles(process);
        return EndWithLine(1, TEXT("LaunchProcessAsUser:: CreateProcessAsUser Success\n"));
    } catch (...) {
        return EndWithLine(-1, TEXT("LaunchProcessAsUser:: Exception caught!!\n"));
    }
}

// Stand-in for the Terminal Services library of a machine where nobody is
// logged on, for the reminder's tests under Wine (whose own library hands
// every caller its own token): the services' session and a console session
// without a user, neither of them active, and no user token for any session
// (ERROR_NO_TOKEN, as Windows answers then). Put in place of Wine's
// wtsapi32 in the prefix's system folder, the only one the worker loads it
// from, and loaded with the override WINEDLLOVERRIDES=wtsapi32.dll=n.
#include <windows.h>

namespace {

// The layout of WTS_SESSION_INFOW and the values of WTS_CONNECTSTATE_CLASS.
struct SessionInfo {
    DWORD SessionId;
    LPWSTR pWinStationName;
    int State;
};
constexpr int kConnected = 1;
constexpr int kDisconnected = 4;

}  // namespace

extern "C" {

BOOL WINAPI WTSEnumerateSessionsW(HANDLE, DWORD reserved, DWORD version, SessionInfo** sessions, DWORD* count) {
    if (reserved != 0 || version != 1 || !sessions || !count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // One block holds the list and the names, as the real library's does.
    struct Block {
        SessionInfo list[2];
        WCHAR names[2][16];
    };
    auto* block = static_cast<Block*>(LocalAlloc(LPTR, sizeof(Block)));
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    lstrcpyW(block->names[0], L"Services");
    lstrcpyW(block->names[1], L"Console");
    block->list[0] = {0, block->names[0], kDisconnected};
    block->list[1] = {1, block->names[1], kConnected};
    *sessions = block->list;
    *count = 2;
    return TRUE;
}

void WINAPI WTSFreeMemory(PVOID memory) {
    LocalFree(memory);
}

BOOL WINAPI WTSQueryUserToken(ULONG, PHANDLE token) {
    if (token) *token = nullptr;
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
}

}  // extern "C"

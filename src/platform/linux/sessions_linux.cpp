// Sessions from the login records, and the user token of a session.
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#include <utmpx.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "user_token.h"
#include "utf.h"

namespace {

struct SessionRecord {
    DWORD id = 0;
    std::string line;
    std::string user;
    std::string host;
    WTS_CONNECTSTATE_CLASS state = WTSDisconnected;
};

std::string FieldText(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

bool ProcessIsAlive(pid_t pid) {
    if (pid <= 0) return false;
    return kill(pid, 0) == 0 || errno == EPERM;
}

const char* RecordsFile() {
    const char* file = std::getenv("WORKER_UTMP_FILE");
    return file && *file ? file : _PATH_UTMPX;
}

// Session 0 (the services session) and one session per login record of a
// user line, in record order. False with the last error set when the records
// file cannot be read.
bool ReadSessions(std::vector<SessionRecord>& sessions) {
    const char* file = RecordsFile();
    if (access(file, R_OK) != 0) {
        SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return false;
    }
    sessions.clear();
    SessionRecord services;
    services.line = "Services";
    sessions.push_back(services);
    if (utmpxname(file) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    setutxent();
    while (const utmpx* record = getutxent()) {
        if (record->ut_type != USER_PROCESS && record->ut_type != DEAD_PROCESS) continue;
        SessionRecord session;
        session.id = static_cast<DWORD>(sessions.size());
        session.line = FieldText(record->ut_line, sizeof record->ut_line);
        session.user = FieldText(record->ut_user, sizeof record->ut_user);
        session.host = FieldText(record->ut_host, sizeof record->ut_host);
        session.state = record->ut_type == USER_PROCESS && ProcessIsAlive(record->ut_pid) ? WTSActive : WTSDisconnected;
        sessions.push_back(session);
    }
    endutxent();
    return true;
}

// The X display of a session: graphical logins record it as the host (":0")
// or as the line.
std::string DisplayOf(const SessionRecord& session) {
    if (!session.host.empty() && session.host[0] == ':') return session.host;
    if (!session.line.empty() && session.line[0] == ':') return session.line;
    return std::string();
}

// Fills the token with the user's account; false when the user database does
// not know the name.
bool LookUpUser(const std::string& name, UserToken& token) {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    int rc;
    while ((rc = getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || !found) return false;
    token.uid = entry.pw_uid;
    token.gid = entry.pw_gid;
    token.userName = entry.pw_name;
    token.home = entry.pw_dir ? entry.pw_dir : "";
    token.shell = entry.pw_shell && *entry.pw_shell ? entry.pw_shell : "/bin/sh";
    int count = 32;
    for (;;) {
        token.groups.assign(static_cast<std::size_t>(count), 0);
        int wanted = count;
        if (getgrouplist(name.c_str(), token.gid, token.groups.data(), &wanted) >= 0) {
            token.groups.resize(static_cast<std::size_t>(wanted));
            break;
        }
        if (wanted <= count) {  // should not happen; keep the primary group alone
            token.groups.assign(1, token.gid);
            break;
        }
        count = wanted;
    }
    return true;
}

// The one library of this substitute.
char g_wtsapi32;

HMODULE Wtsapi32Module() {
    return reinterpret_cast<HMODULE>(&g_wtsapi32);
}

bool NamesWtsapi32(LPCWSTR fileName) {
    std::string name = Utf16ToUtf8(fileName, WideLengthOf(fileName));
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return name == "wtsapi32.dll" || name == "wtsapi32";
}

}  // namespace

BOOL WTSEnumerateSessionsW(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* sessionInfo,
                           DWORD* count) {
    if (server != WTS_CURRENT_SERVER_HANDLE || reserved != 0 || version != 1 || !sessionInfo || !count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<SessionRecord> sessions;
    if (!ReadSessions(sessions)) return FALSE;

    // One block: the records, then their terminated station names.
    std::vector<std::u16string> names;
    std::size_t nameUnits = 0;
    for (const SessionRecord& session : sessions) {
        names.push_back(Utf8ToUtf16(session.line.data(), session.line.size()));
        nameUnits += names.back().size() + 1;
    }
    std::size_t bytes = sessions.size() * sizeof(WTS_SESSION_INFOW) + nameUnits * sizeof(WCHAR);
    auto* block = static_cast<WTS_SESSION_INFOW*>(std::malloc(bytes));
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    auto* text = reinterpret_cast<WCHAR*>(block + sessions.size());
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        block[i].SessionId = sessions[i].id;
        block[i].State = sessions[i].state;
        block[i].pWinStationName = text;
        std::memcpy(text, names[i].c_str(), (names[i].size() + 1) * sizeof(WCHAR));
        text += names[i].size() + 1;
    }
    *sessionInfo = block;
    *count = static_cast<DWORD>(sessions.size());
    return TRUE;
}

void WTSFreeMemory(PVOID memory) {
    std::free(memory);
}

BOOL WINAPI WTSQueryUserToken(ULONG sessionId, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Only a service may take on another user's identity.
    if (geteuid() != 0) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    // The services session never has a user.
    if (sessionId == 0) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    std::vector<SessionRecord> sessions;
    if (!ReadSessions(sessions)) return FALSE;
    if (sessionId >= sessions.size()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const SessionRecord& session = sessions[sessionId];
    auto user = std::make_unique<UserToken>();
    if (session.user.empty() || !LookUpUser(session.user, *user)) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    user->display = DisplayOf(session);
    *token = ToHandle(user.release());
    return TRUE;
}

HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
    if (file || flags != LOAD_LIBRARY_SEARCH_SYSTEM32) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!fileName || !NamesWtsapi32(fileName)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Wtsapi32Module();
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module != Wtsapi32Module()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!procName || std::strcmp(procName, "WTSQueryUserToken") != 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    // void (*)() stands between unrelated function types without a warning.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&WTSQueryUserToken));
}

BOOL FreeLibrary(HMODULE module) {
    if (module != Wtsapi32Module()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

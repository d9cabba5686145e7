// What a user token is good for: a copy of it, the user's environment, and
// a program started under the user's account.
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "spawn.h"
#include "user_token.h"
#include "utf.h"

extern char** environ;

namespace {

using Variable = std::pair<std::string, std::string>;

void SetVariable(std::vector<Variable>& variables, const std::string& name, const std::string& value) {
    for (Variable& variable : variables) {
        if (variable.first == name) {
            variable.second = value;
            return;
        }
    }
    variables.emplace_back(name, value);
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// What a login of the user would set, as login(1) and the session manager do.
std::vector<Variable> UserVariables(const UserToken* token) {
    std::vector<Variable> variables;
    if (!token) {
        variables.emplace_back("PATH", "/usr/local/bin:/usr/bin:/bin");
        return variables;
    }
    variables.emplace_back("HOME", token->home);
    variables.emplace_back("USER", token->userName);
    variables.emplace_back("LOGNAME", token->userName);
    variables.emplace_back("SHELL", token->shell);
    variables.emplace_back("PATH", token->uid == 0 ? "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
                                                   : "/usr/local/bin:/usr/bin:/bin");
    if (!token->display.empty()) variables.emplace_back("DISPLAY", token->display);
    std::string runtime = "/run/user/" + std::to_string(token->uid);
    if (IsDirectory(runtime)) variables.emplace_back("XDG_RUNTIME_DIR", runtime);
    return variables;
}

std::vector<Variable> WorkerVariables() {
    std::vector<Variable> variables;
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (!equals || equals == *entry) continue;
        variables.emplace_back(std::string(*entry, static_cast<std::size_t>(equals - *entry)), std::string(equals + 1));
    }
    return variables;
}

}  // namespace

BOOL DuplicateTokenEx(HANDLE existingToken, DWORD, _SECURITY_ATTRIBUTES*,
                      SECURITY_IMPERSONATION_LEVEL impersonationLevel, TOKEN_TYPE tokenType, PHANDLE newToken) {
    const UserToken* original = FromHandle<UserToken>(existingToken);
    if (!original) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!newToken || (tokenType != TokenPrimary && tokenType != TokenImpersonation)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto copy = std::make_unique<UserToken>(*original);
    copy->type = tokenType;
    copy->level = impersonationLevel;
    *newToken = ToHandle(copy.release());
    return TRUE;
}

BOOL CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL inherit) {
    const UserToken* user = token ? FromHandle<UserToken>(token) : nullptr;
    if (!environment || (token && !user)) {
        SetLastError(!environment ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::vector<Variable> variables = inherit ? WorkerVariables() : std::vector<Variable>();
    for (const Variable& variable : UserVariables(user)) SetVariable(variables, variable.first, variable.second);

    std::u16string block;
    for (const Variable& variable : variables) {
        std::string entry = variable.first + "=" + variable.second;
        block += Utf8ToUtf16(entry.data(), entry.size());
        block += u'\0';
    }
    block += u'\0';
    auto* copy = new WCHAR[block.size()];
    std::memcpy(copy, block.data(), block.size() * sizeof(WCHAR));
    *environment = copy;
    return TRUE;
}

BOOL DestroyEnvironmentBlock(LPVOID environment) {
    if (!environment) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    delete[] static_cast<WCHAR*>(environment);
    return TRUE;
}

BOOL CreateProcessAsUserW(HANDLE token, LPCWSTR applicationName, LPWSTR commandLine, _SECURITY_ATTRIBUTES*,
                          _SECURITY_ATTRIBUTES*, BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                          LPCWSTR currentDirectory, _STARTUPINFOW* startupInfo,
                          _PROCESS_INFORMATION* processInformation) {
    const UserToken* user = FromHandle<UserToken>(token);
    if (!user) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (user->type != TokenPrimary) {
        SetLastError(ERROR_BAD_TOKEN_TYPE);
        return FALSE;
    }
    // The substitute's environment blocks are UTF-16 only.
    if (environment && !(creationFlags & CREATE_UNICODE_ENVIRONMENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SpawnRequest request;
    request.applicationName = applicationName;
    request.commandLine = commandLine;
    request.workingDirectory = currentDirectory;
    request.environment = static_cast<const WCHAR*>(environment);
    request.inheritHandles = inheritHandles != FALSE;
    ChooseStandardDescriptors(request, startupInfo, request.inheritHandles);
    request.asUser = true;
    request.uid = user->uid;
    request.gid = user->gid;
    request.groups = user->groups;
    return SpawnProcess(request, processInformation);
}

#include "platform/folder_trust.h"

#include <aclapi.h>

#include <vector>

#include "platform/scoped_resource.h"

namespace {

using ScopedSecurityDescriptor = ScopedResource<PSECURITY_DESCRIPTOR, LocalFree>;

// Every right that adds, removes or changes something in a folder, or
// changes who may.
constexpr ACCESS_MASK kChangingRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                        FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL | MAXIMUM_ALLOWED;

// The account the worker runs as (SYSTEM for the agent's service).
std::vector<BYTE> OwnAccount() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    ScopedHandle guard(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
    return user;
}

bool IsTrustedAccount(PSID sid, const std::vector<BYTE>& ownAccount) {
    if (!sid || !IsValidSid(sid)) return false;
    if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
        // Stands for whoever makes an entry in the folder, who must be
        // allowed to already.
        IsWellKnownSid(sid, WinCreatorOwnerSid))
        return true;
    return !ownAccount.empty() && EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(ownAccount.data())->User.Sid);
}

}  // namespace

bool IsAdministratorsFolder(LPCWSTR path) {
    PSID owner = nullptr;
    PACL access = nullptr;
    ScopedSecurityDescriptor descriptor;
    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &access, nullptr, descriptor.Receive()) != ERROR_SUCCESS)
        return false;
    const std::vector<BYTE> ownAccount = OwnAccount();
    // Without an access list anyone may do anything.
    if (!IsTrustedAccount(owner, ownAccount) || !access) return false;
    for (DWORD index = 0; index < access->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(access, index, &entry)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        // Conditional and object entries are not read: not trusted.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kChangingRights) && !IsTrustedAccount(&allowed->SidStart, ownAccount)) return false;
    }
    return true;
}

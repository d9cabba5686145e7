// SDDL text read into the substitute's security descriptors (see
// security_api.h), and the folder mode they stand for.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/platform.h"
#include "security_descriptor.h"

namespace {

// The substitute's descriptor: what of the SDDL text it applies.
struct Descriptor {
    uint32_t magic;
    bool protectedDacl;
};
constexpr uint32_t kDescriptorMagic = 0x53444431;  // "SDD1"

using Text = std::u16string_view;

bool IsUpper(WCHAR c) {
    return c >= u'A' && c <= u'Z';
}

bool IsDigit(WCHAR c) {
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(WCHAR c) {
    return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// A run of the given two-letter codes, possibly empty.
bool IsCodeRun(Text text, std::initializer_list<const char16_t*> codes) {
    if (text.size() % 2 != 0) return false;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        bool known = false;
        for (Text code : codes) known = known || text.substr(at, 2) == code;
        if (!known) return false;
    }
    return true;
}

// A two-letter alias (SY, BA, ...) or S-1-n-n... text.
bool IsSid(Text text) {
    if (text.size() == 2) return IsUpper(text[0]) && IsUpper(text[1]);
    if (text.substr(0, 4) != u"S-1-" || text.size() == 4) return false;
    bool digitBefore = false;
    for (WCHAR c : text.substr(4)) {
        if (c == u'-' && !digitBefore) return false;
        digitBefore = IsDigit(c);
        if (!digitBefore && c != u'-') return false;
    }
    return digitBefore;
}

bool IsRights(Text text) {
    if (text.substr(0, 2) == u"0x") {
        text.remove_prefix(2);
        if (text.empty() || text.size() > 8) return false;
        for (WCHAR c : text)
            if (!IsHexDigit(c)) return false;
        return true;
    }
    return !text.empty() && IsCodeRun(text, {u"GA", u"GR", u"GW", u"GX", u"RC", u"SD", u"WD", u"WO", u"RP", u"WP",
                                             u"CC", u"DC", u"LC", u"SW", u"LO", u"DT", u"CR", u"FA", u"FR", u"FW",
                                             u"FX", u"KA", u"KR", u"KW", u"KX", u"NR", u"NW", u"NX"});
}

// "(type;flags;rights;;;sid)" without its parentheses.
bool IsAce(Text ace, bool inDacl) {
    Text fields[6];
    for (int index = 0; index < 6; ++index) {
        std::size_t end = ace.find(u';');
        if ((end == Text::npos) != (index == 5)) return false;
        fields[index] = ace.substr(0, end);
        ace.remove_prefix(end == Text::npos ? ace.size() : end + 1);
    }
    const bool typeKnown = inDacl ? (fields[0] == u"A" || fields[0] == u"D")
                                  : (fields[0] == u"AU" || fields[0] == u"AL" || fields[0] == u"ML");
    return typeKnown && IsCodeRun(fields[1], {u"CI", u"OI", u"NP", u"IO", u"ID", u"SA", u"FA"}) &&
           IsRights(fields[2]) && fields[3].empty() && fields[4].empty() && IsSid(fields[5]);
}

// An ACL's flags and ACEs; isProtected tells whether P was among the flags.
bool IsAcl(Text acl, bool inDacl, bool& isProtected) {
    isProtected = false;
    while (!acl.empty() && acl[0] != u'(') {
        if (acl.substr(0, 17) == u"NO_ACCESS_CONTROL") {
            acl.remove_prefix(17);
        } else if (acl.substr(0, 2) == u"AI" || acl.substr(0, 2) == u"AR") {
            acl.remove_prefix(2);
        } else if (acl[0] == u'P') {
            isProtected = true;
            acl.remove_prefix(1);
        } else {
            return false;
        }
    }
    while (!acl.empty()) {
        std::size_t close = acl.find(u')');
        if (acl[0] != u'(' || close == Text::npos || !IsAce(acl.substr(1, close - 1), inDacl)) return false;
        acl.remove_prefix(close + 1);
    }
    return true;
}

bool IsSectionStart(Text text, std::size_t at) {
    return at + 1 < text.size() && text[at + 1] == u':' &&
           (text[at] == u'O' || text[at] == u'G' || text[at] == u'D' || text[at] == u'S');
}

// Reads the whole text into descriptor; false when it is not SDDL the
// substitute reads.
bool ReadSddl(Text text, Descriptor& descriptor) {
    bool seen[4] = {};
    const Text kinds = u"OGDS";
    while (!text.empty()) {
        if (!IsSectionStart(text, 0)) return false;
        const std::size_t kind = kinds.find(text[0]);
        if (seen[kind]) return false;
        seen[kind] = true;
        // The section runs to the next "X:" outside an ACE.
        std::size_t end = 2;
        int depth = 0;
        while (end < text.size() && (depth > 0 || !IsSectionStart(text, end))) {
            depth += text[end] == u'(' ? 1 : text[end] == u')' ? -1 : 0;
            ++end;
        }
        const Text body = text.substr(2, end - 2);
        text.remove_prefix(end);
        bool isProtected = false;
        if (kind < 2 ? !IsSid(body) : !IsAcl(body, kind == 2, isProtected)) return false;
        if (kind == 2) descriptor.protectedDacl = isProtected;
    }
    return true;
}

}  // namespace

BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
                                                          PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                          PULONG SecurityDescriptorSize) {
    if (!StringSecurityDescriptor || !SecurityDescriptor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (StringSDRevision != SDDL_REVISION_1) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    Descriptor read{kDescriptorMagic, false};
    if (!ReadSddl(StringSecurityDescriptor, read)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* descriptor = static_cast<Descriptor*>(std::malloc(sizeof(Descriptor)));
    if (!descriptor) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *descriptor = read;
    *SecurityDescriptor = descriptor;
    if (SecurityDescriptorSize) *SecurityDescriptorSize = sizeof(Descriptor);
    return TRUE;
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}

DWORD FolderModeOf(const SECURITY_ATTRIBUTES* attributes, mode_t& mode) {
    mode = 0755;
    if (!attributes || !attributes->lpSecurityDescriptor) return 0;
    const auto* descriptor = static_cast<const Descriptor*>(attributes->lpSecurityDescriptor);
    if (descriptor->magic != kDescriptorMagic) return ERROR_INVALID_SECURITY_DESCR;
    if (descriptor->protectedDacl) mode = 0700;
    return 0;
}

#include "status/report_text.h"

#include <string_view>

#include "status/utf8.h"

namespace {

bool AllowedInXml(char32_t c) {
    if (c < 0x20) return c == 0x09 || c == 0x0A || c == 0x0D;
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    return c != 0xFFFE && c != 0xFFFF;
}

void Append(std::wstring& out, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

// Whether two UTF-16 units are a surrogate pair: one character beyond U+FFFF.
bool IsSurrogatePair(char32_t high, char32_t low) {
    return high >= 0xD800 && high <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Unicode's White_Space characters beyond the control characters.
bool IsWhiteSpace(char32_t c) {
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// Line and paragraph separators: a console shows them as line ends.
bool IsLineSeparator(char32_t c) {
    return c == 0x2028 || c == 0x2029;
}

}  // namespace

std::wstring ToReportText(const WCHAR* text) {
    std::wstring out;
    if (!text) return out;
    for (std::size_t i = 0; text[i]; ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (IsSurrogatePair(c, static_cast<char16_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        Append(out, AllowedInXml(c) ? c : kReplacementCharacter);
    }
    return out;
}

bool IsReportText(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = sizeof(wchar_t) == 2 ? static_cast<char16_t>(text[i]) : static_cast<char32_t>(text[i]);
        // Where wchar_t holds UTF-16, a character beyond U+FFFF is a pair.
        if (sizeof(wchar_t) == 2 && i + 1 < text.size() && IsSurrogatePair(c, static_cast<char16_t>(text[i + 1])))
            ++i;
        else if (c > 0x10FFFF || !AllowedInXml(c))
            return false;
    }
    return true;
}

void ToConsoleFaultText(const char* faultText, WCHAR* text, std::size_t capacity) {
    if (capacity == 0) return;
    const std::string_view bytes = faultText ? faultText : "(null)";
    std::size_t used = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const Utf8Sequence sequence = ReadUtf8(bytes, at);
        at += sequence.length;
        char32_t c = sequence.character;
        if (IsControl(c) || IsLineSeparator(c)) c = U' ';
        const std::size_t units = c >= 0x10000 ? 2 : 1;
        if (used + units > capacity - 1) break;
        if (units == 2) {
            text[used++] = static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
            text[used++] = static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text[used++] = static_cast<WCHAR>(c);
        }
    }
    text[used] = 0;
}

bool IsSendableEndpointPart(const WCHAR* text) {
    for (std::size_t i = 0; text && text[i]; ++i) {
        const char32_t c = static_cast<char16_t>(text[i]);
        if (IsControl(c) || IsWhiteSpace(c)) return false;
        // These end the host or the port in a URL: what follows them would
        // name another server (user@host) or another path, query or fragment.
        if (c == U'/' || c == U'\\' || c == U'?' || c == U'#' || c == U'@') return false;
    }
    return true;
}

bool IsWellFormedUtf8(const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const Utf8Sequence sequence = ReadUtf8(bytes, at);
        if (!sequence.wellFormed) return false;
        at += sequence.length;
    }
    return true;
}

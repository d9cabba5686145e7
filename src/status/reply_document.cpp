#include "status/reply_document.h"

#include <algorithm>
#include <string_view>

#include "status/utf8.h"

namespace {

// Where the runtime sees an XML declaration: "<?xml" and a blank.
bool IsXmlDeclarationAt(std::string_view bytes, std::size_t at) {
    constexpr std::string_view kStart = "<?xml";
    return bytes.substr(at, kStart.size()) == kStart && at + kStart.size() < bytes.size() &&
           static_cast<unsigned char>(bytes[at + kStart.size()]) <= 0x20;
}

// Whether an XML declaration's text names ISO-8859-1, by any of its
// registered names.
bool NamesLatin1(std::string_view declaration) {
    constexpr std::string_view kEncoding = "encoding";
    std::size_t at = declaration.find(kEncoding);
    if (at == std::string_view::npos) return false;
    at = declaration.find_first_not_of(" \t\r\n", at + kEncoding.size());
    if (at == std::string_view::npos || declaration[at] != '=') return false;
    at = declaration.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string_view::npos || (declaration[at] != '"' && declaration[at] != '\'')) return false;
    const std::size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) return false;
    std::string name(declaration.substr(at + 1, end - at - 1));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    for (const char* latin1 : {"iso-8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1", "l1", "iso-ir-100", "ibm819",
                               "cp819", "csisolatin1"})
        if (name == latin1) return true;
    return false;
}

// A numeric character reference ("&#" digits ";" or "&#x" hex digits ";")
// at a position of text: the character it stands for (beyond U+10FFFF when
// its digits say so) and its length; nothing when there is none.
struct CharacterReference {
    char32_t character;
    std::size_t length;
};

std::optional<CharacterReference> ReadCharacterReference(std::string_view text, std::size_t at) {
    constexpr char32_t kBeyondUnicode = 0x110000;
    std::size_t next = at + 2;
    const bool hex = next < text.size() && (text[next] == 'x' || text[next] == 'X');
    if (hex) ++next;
    const std::size_t digitsStart = next;
    char32_t value = 0;
    for (; next < text.size(); ++next) {
        const char c = text[next];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        value = std::min<char32_t>(value * (hex ? 16 : 10) + digit, kBeyondUnicode);
    }
    if (next == digitsStart || next >= text.size() || text[next] != ';') return std::nullopt;
    return CharacterReference{value, next + 1 - at};
}

// The document's numeric character references as the runtime reads them
// right: it reads at most seven characters of a reference, so "&#x1F600;"
// would leave its ";" behind and "&#x0041;" would read as U+0000. A
// reference to U+0000, a surrogate, U+FFFE, U+FFFF or beyond U+10FFFF reads
// as U+FFFD, one that does not end as U+FFFD and the text after "&#". An
// ASCII character (markup included) stays a reference, in its shortest form;
// any other is written as itself. CDATA sections hold no references: they
// are left as they are. Nothing when an XML declaration follows beyond the
// document's start.
std::optional<std::string> WithShortReferences(const std::string& text) {
    constexpr std::string_view kCdataStart = "<![CDATA[", kCdataEnd = "]]>";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, kCdataStart.size(), kCdataStart) == 0) {
            const std::size_t end = text.find(kCdataEnd, at);
            const std::size_t next = end == std::string::npos ? text.size() : end + kCdataEnd.size();
            out.append(text, at, next - at);
            at = next;
        } else if (text[at] == '<' && IsXmlDeclarationAt(text, at)) {
            return std::nullopt;
        } else if (text.compare(at, 2, "&#") != 0) {
            out += text[at++];
        } else if (const std::optional<CharacterReference> reference = ReadCharacterReference(text, at)) {
            const char32_t c = reference->character;
            if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF)
                AppendUtf8(out, kReplacementCharacter);
            else if (c < 0x80)
                out += "&#" + std::to_string(static_cast<unsigned>(c)) + ";";
            else
                AppendUtf8(out, c);
            at += reference->length;
        } else {
            AppendUtf8(out, kReplacementCharacter);
            at += 2;
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> ToUtf8Document(const std::string& bytes) {
    std::string_view rest = bytes;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (rest.substr(0, kByteOrderMark.size()) == kByteOrderMark) rest.remove_prefix(kByteOrderMark.size());
    bool latin1 = false;
    // The declaration, where one is given, follows at most some blanks.
    const std::size_t first = rest.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && IsXmlDeclarationAt(rest, first)) {
        const std::size_t end = rest.find("?>", first);
        if (end == std::string_view::npos) return std::nullopt;
        latin1 = NamesLatin1(rest.substr(first, end - first));
        rest.remove_prefix(end + 2);
    }
    std::string text;
    text.reserve(rest.size());
    for (std::size_t at = 0; at < rest.size();) {
        if (latin1) {
            AppendUtf8(text, static_cast<unsigned char>(rest[at++]));
            continue;
        }
        const Utf8Sequence sequence = ReadUtf8(rest, at);
        if (sequence.wellFormed)
            text.append(rest.substr(at, sequence.length));
        else
            AppendUtf8(text, kReplacementCharacter);
        at += sequence.length;
    }
    return WithShortReferences(text);
}

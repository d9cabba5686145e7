// UTF-8 and UTF-16 conversions: any input converts without a fault into
// well-formed output, well-formed text survives the round trip unchanged,
// and only the ill-formed parts become U+FFFD.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/utf.h"

namespace {

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool WellFormedUtf8(const std::string& text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        unsigned char c = s[i];
        std::size_t length;
        char32_t value;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            value = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            value = c & 0x07;
        } else {
            return false;
        }
        if (i + length > n) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            value = (value << 6) | (s[i + k] & 0x3F);
        }
        if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF))) return false;
        if (value >= 0xD800 && value <= 0xDFFF) return false;
        i += length;
    }
    return true;
}

bool WellFormedUtf16(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// The UTF-16 text with each unpaired surrogate replaced by U+FFFD.
std::u16string Repaired(const std::u16string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += c;
            out += text[++i];
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += u'\xFFFD';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bytes as UTF-8.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::u16string wide = Utf8ToUtf16(bytes.data(), bytes.size());
    if (!WellFormedUtf16(wide)) std::abort();
    std::string back = Utf16ToUtf8(reinterpret_cast<const WCHAR*>(wide.data()), wide.size());
    if (!WellFormedUtf8(back)) std::abort();
    if (WellFormedUtf8(bytes) && back != bytes) std::abort();

    // The bytes as UTF-16 units.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    std::string narrow = Utf16ToUtf8(reinterpret_cast<const WCHAR*>(units.data()), units.size());
    if (!WellFormedUtf8(narrow)) std::abort();
    if (Utf8ToUtf16(narrow.data(), narrow.size()) != Repaired(units)) std::abort();

    // The length of a terminated text.
    std::u16string terminated = units.substr(0, units.find(u'\0'));
    if (WideLengthOf(reinterpret_cast<const WCHAR*>(terminated.c_str())) != terminated.size()) std::abort();
    return 0;
}

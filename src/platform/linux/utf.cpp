#include "utf.h"

#include "platform/utf8_encoding.h"

std::size_t WideLengthOf(const WCHAR* text) {
    std::size_t n = 0;
    while (text[n]) ++n;
    return n;
}

std::string Utf16ToUtf8(const WCHAR* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string Utf8ToUtf16(const char* text, std::size_t length) {
    std::u16string out;
    out.reserve(length);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < length) {
        uint32_t lead = p[i];
        std::size_t need = lead < 0x80                      ? 0
                           : (lead >= 0xC2 && lead <= 0xDF) ? 1
                           : (lead >= 0xE0 && lead <= 0xEF) ? 2
                           : (lead >= 0xF0 && lead <= 0xF4) ? 3
                                                            : 99;
        uint32_t cp = 0xFFFD;
        std::size_t used = 1;
        if (need == 0) {
            cp = lead;
        } else if (need != 99) {
            uint32_t value = lead & (0x7F >> (need + 1));
            std::size_t k = 1;
            for (; k <= need && i + k < length && (p[i + k] & 0xC0) == 0x80; ++k)
                value = (value << 6) | (p[i + k] & 0x3F);
            bool complete = k == need + 1;
            bool valid = complete && !(need == 2 && value < 0x800) &&
                         !(need == 3 && (value < 0x10000 || value > 0x10FFFF)) && !(value >= 0xD800 && value <= 0xDFFF);
            if (valid) {
                cp = value;
                used = need + 1;
            }
        }
        i += used;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

#include "status/utf8.h"

Utf8Sequence ReadUtf8(std::string_view bytes, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) return {lead, 1, true};
    // The length of the sequence and the range of its second byte, which
    // rules out overlong forms, surrogates and values beyond U+10FFFF.
    std::size_t length = 0;
    char32_t value = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {kReplacementCharacter, 1, false};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (at + k >= bytes.size()) return {kReplacementCharacter, k, false};
        const unsigned char next = static_cast<unsigned char>(bytes[at + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return {kReplacementCharacter, k, false};
        value = (value << 6) | (next & 0x3F);
    }
    return {value, length, true};
}

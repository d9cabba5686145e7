// UTF-8 as the status channel reads it from outside: one sequence at a
// time, an ill-formed one read as U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf8_encoding.h"

constexpr char32_t kReplacementCharacter = 0xFFFD;

// One UTF-8 sequence read from bytes at a position: its character and its
// length. An ill-formed sequence reads as U+FFFD over its longest start that
// could begin a well-formed one (at least one byte), as Unicode recommends:
// overlong forms, surrogates and values beyond U+10FFFF are ill-formed.
struct Utf8Sequence {
    char32_t character;
    std::size_t length;
    bool wellFormed;
};

Utf8Sequence ReadUtf8(std::string_view bytes, std::size_t at);


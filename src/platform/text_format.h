// Wide formatted printing as the worker uses it: the conversions %s (wide
// text), %S (narrow text), %d (signed decimal), %X and %x (hexadecimal, no
// prefix), %u and %%. The format strings of the worker are written in the
// Microsoft manner, where %s takes wide text; this formatter reads them that
// way on every platform and compiler. A null text prints as "(null)".
//
// Arguments are checked at compile time: integers must be 32 bits or
// narrower, and text must be WCHAR or char pointers. Nothing allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/platform.h"

struct FormatArg {
    enum class Kind { Integer, Wide, Narrow } kind;
    int64_t value;  // signed value of an integer argument
    uint32_t bits;  // its 32-bit pattern, for %X, %x and %u
    const WCHAR* wide;
    const char* narrow;
};

template <typename T>
FormatArg MakeFormatArg(T value) {
    if constexpr (std::is_same_v<T, const WCHAR*> || std::is_same_v<T, WCHAR*>) {
        return FormatArg{FormatArg::Kind::Wide, 0, 0, value, nullptr};
    } else if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, char*>) {
        return FormatArg{FormatArg::Kind::Narrow, 0, 0, nullptr, value};
    } else {
        static_assert(std::is_integral_v<T> || std::is_enum_v<T>, "format argument must be text or an integer");
        static_assert(sizeof(T) <= 4, "format integers are 32 bits wide");
        return FormatArg{FormatArg::Kind::Integer, static_cast<int64_t>(value), static_cast<uint32_t>(value), nullptr,
                         nullptr};
    }
}

// Where formatted text goes: a fixed buffer (cut at its capacity) or any
// other sink through a callback.
class FormatSink {
public:
    virtual ~FormatSink() = default;
    virtual void Append(const WCHAR* text, std::size_t length) = 0;
};

void FormatToSink(FormatSink& sink, const WCHAR* format, const FormatArg* args, std::size_t count);

// Writes at most maxChars characters and a terminator into buffer, whose
// capacity must exceed maxChars. Returns the number of characters written.
std::size_t FormatIntoBuffer(WCHAR* buffer, std::size_t maxChars, const WCHAR* format, const FormatArg* args,
                             std::size_t count);

// The worker's truncating formatted print: the whole buffer but its last
// character may be written, so the text always stays terminated.
template <std::size_t N, typename... A>
std::size_t FormatTruncated(WCHAR (&buffer)[N], const WCHAR* format, A... args) {
    static_assert(N > 0);
    const FormatArg list[] = {MakeFormatArg(args)..., FormatArg{}};
    return FormatIntoBuffer(buffer, N - 1, format, list, sizeof...(A));
}

// The same for a buffer known only by pointer and capacity (terminator included).
template <typename... A>
std::size_t FormatTruncatedN(WCHAR* buffer, std::size_t capacity, const WCHAR* format, A... args) {
    const FormatArg list[] = {MakeFormatArg(args)..., FormatArg{}};
    return FormatIntoBuffer(buffer, capacity - 1, format, list, sizeof...(A));
}

// Length of a terminated wide text.
std::size_t WideLength(const WCHAR* text);
// Exact comparison of two terminated wide texts.
bool WideEquals(const WCHAR* a, const WCHAR* b);

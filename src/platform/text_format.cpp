#include "platform/text_format.h"

namespace {

const WCHAR kNull[] = TEXT("(null)");

class BufferSink : public FormatSink {
public:
    BufferSink(WCHAR* buffer, std::size_t maxChars) : buffer_(buffer), max_(maxChars) {}
    void Append(const WCHAR* text, std::size_t length) override {
        for (std::size_t i = 0; i < length && used_ < max_; ++i) buffer_[used_++] = text[i];
    }
    std::size_t Finish() {
        buffer_[used_] = 0;
        return used_;
    }

private:
    WCHAR* buffer_;
    std::size_t max_;
    std::size_t used_ = 0;
};

void AppendNarrow(FormatSink& sink, const char* text) {
    // Narrow text (the status runtime's fault strings) is decoded as UTF-8
    // where its bytes form well-formed sequences; any other byte is taken as
    // its Latin-1 value, so that no input is lost.
    WCHAR chunk[64];
    std::size_t n = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t cp = *p;
        std::size_t len = 1;
        if (cp >= 0xC2 && cp <= 0xF4) {
            std::size_t need = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : 1;
            uint32_t value = cp & (0x3F >> need);
            std::size_t k = 1;
            for (; k <= need && (p[k] & 0xC0) == 0x80; ++k) value = (value << 6) | (p[k] & 0x3F);
            bool ok = k == need + 1 && !(need == 2 && value < 0x800) &&
                      !(need == 3 && (value < 0x10000 || value > 0x10FFFF)) && !(value >= 0xD800 && value <= 0xDFFF);
            if (ok) {
                cp = value;
                len = need + 1;
            }
        }
        p += len;
        if (n + 2 > sizeof(chunk) / sizeof(chunk[0])) {
            sink.Append(chunk, n);
            n = 0;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            chunk[n++] = static_cast<WCHAR>(0xD800 + (cp >> 10));
            chunk[n++] = static_cast<WCHAR>(0xDC00 + (cp & 0x3FF));
        } else {
            chunk[n++] = static_cast<WCHAR>(cp);
        }
    }
    sink.Append(chunk, n);
}

void AppendNumber(FormatSink& sink, uint64_t magnitude, bool negative, unsigned base, bool upper) {
    WCHAR digits[24];
    std::size_t n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = static_cast<WCHAR>(set[magnitude % base]);
        magnitude /= base;
    } while (magnitude);
    if (negative) digits[n++] = '-';
    WCHAR out[24];
    for (std::size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    sink.Append(out, n);
}

}  // namespace

void FormatToSink(FormatSink& sink, const WCHAR* format, const FormatArg* args, std::size_t count) {
    std::size_t next = 0;
    const WCHAR* run = format;
    const WCHAR* p = format;
    auto flushRun = [&](const WCHAR* end) {
        if (end > run) sink.Append(run, static_cast<std::size_t>(end - run));
    };
    while (*p) {
        if (*p != '%') {
            ++p;
            continue;
        }
        flushRun(p);
        WCHAR conv = p[1];
        // A length modifier l is accepted and changes nothing: %ls is wide
        // text, %lX a 32-bit value, as with the Microsoft runtime.
        std::size_t skip = 2;
        if (conv == 'l' && p[2]) {
            conv = p[2];
            skip = 3;
            if (conv == 'S') conv = 's';
        }
        if (conv == 0) {  // a lone % at the end is printed as it is
            sink.Append(p, 1);
            ++p;
            run = p;
            continue;
        }
        if (conv == '%') {
            sink.Append(p, 1);
        } else if (conv == 's' || conv == 'S' || conv == 'd' || conv == 'i' || conv == 'u' || conv == 'X' ||
                   conv == 'x') {
            if (next < count) {
                const FormatArg& arg = args[next++];
                if (conv == 's' || conv == 'S') {
                    if (arg.kind == FormatArg::Kind::Wide) {
                        const WCHAR* w = arg.wide ? arg.wide : kNull;
                        sink.Append(w, WideLength(w));
                    } else if (arg.kind == FormatArg::Kind::Narrow) {
                        AppendNarrow(sink, arg.narrow ? arg.narrow : "(null)");
                    }
                } else if (arg.kind == FormatArg::Kind::Integer) {
                    if (conv == 'd' || conv == 'i') {
                        int32_t v = static_cast<int32_t>(arg.bits);
                        bool neg = v < 0;
                        uint64_t mag = neg ? static_cast<uint64_t>(-static_cast<int64_t>(v)) : static_cast<uint64_t>(v);
                        AppendNumber(sink, mag, neg, 10, false);
                    } else if (conv == 'u') {
                        AppendNumber(sink, arg.bits, false, 10, false);
                    } else {
                        AppendNumber(sink, arg.bits, false, 16, conv == 'X');
                    }
                }
            }
        } else {
            // Unknown conversions are printed as they stand.
            sink.Append(p, skip);
        }
        p += skip;
        run = p;
    }
    flushRun(p);
}

std::size_t FormatIntoBuffer(WCHAR* buffer, std::size_t maxChars, const WCHAR* format, const FormatArg* args,
                             std::size_t count) {
    BufferSink sink(buffer, maxChars);
    FormatToSink(sink, format, args, count);
    return sink.Finish();
}

std::size_t WideLength(const WCHAR* text) {
    std::size_t n = 0;
    while (text[n]) ++n;
    return n;
}

bool WideEquals(const WCHAR* a, const WCHAR* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

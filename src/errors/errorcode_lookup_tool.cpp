// errorcode_lookup: tells support staff what a result code from a job's
// status report means. For each code given (hexadecimal with 0x, or decimal,
// either possibly negative) it prints one line, the code as 0x and eight
// hexadecimal digits, a TAB and the description the worker would report;
// --list prints every row of the table the same way, --version the
// product's version. The output is plain UTF-8 text for people and scripts,
// not the worker's UTF-16 console. What the tool cannot tell from its table
// goes to standard error, a line per code, so that standard output keeps one
// line per code for scripts.
#include <cstdio>

#include "errors/error_code_table.h"
#include "errors/scan_error_codes.h"
#include "errors/system_message_lookup.h"
#include "platform/text_format.h"
#include "worker_version.h"

namespace {

const char kUsage[] =
    "usage: errorcode_lookup CODE...   describe each result code (0x80070057, -2147024809, 1603)\n"
    "       errorcode_lookup --list    print every code of the table with its description\n"
    "       errorcode_lookup --version print the version of the product\n";

int DigitValue(WCHAR c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

// Reads a whole argument as a 32-bit code: "0x" and up to eight hexadecimal
// digits, or decimal digits; a leading minus takes the two's complement. A
// positive value must fit 32 bits, a negative one 32-bit signed range.
bool ParseCode(const WCHAR* text, DWORD& code) {
    bool negative = *text == '-';
    if (negative || *text == '+') ++text;
    unsigned base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (!*text) return false;
    unsigned long long value = 0;
    for (; *text; ++text) {
        int digit = DigitValue(*text, base);
        if (digit < 0) return false;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) return false;
    }
    if (negative) {
        if (value > 0x80000000ull) return false;
        value = (0x100000000ull - value) & 0xFFFFFFFFull;
    }
    code = static_cast<DWORD>(value);
    return true;
}

void PrintNarrow(std::FILE* stream, const WCHAR* text) {
    char utf8[4 * kDescriptionCapacity];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
    if (bytes > 0) std::fputs(utf8, stream);
}

// How many hexadecimal digits a result code has at most: logs often write
// a code as exactly that many, without "0x".
constexpr std::size_t kCodeHexDigits = 8;

// Whether text is written the way logs write a code without "0x": exactly
// eight hexadecimal digits. Such a text reads as decimal here (as
// documented) when it holds no letter; either way its hexadecimal reading
// may be what was meant.
bool LooksLikeBareHexCode(const WCHAR* text, DWORD& code) {
    if (WideLength(text) != kCodeHexDigits) return false;
    DWORD value = 0;
    for (std::size_t i = 0; i < kCodeHexDigits; ++i) {
        const int digit = DigitValue(text[i], 16);
        if (digit < 0) return false;
        value = value << 4 | static_cast<DWORD>(digit);
    }
    code = value;
    return true;
}

// Standard error's note on a code that its argument may not mean as read:
// when the argument's hexadecimal reading is a code of the table, says so
// with that code's text. prefix says how the argument was taken.
void NoteHexadecimalReading(const WCHAR* argument, const char* prefix) {
    DWORD hexCode = 0;
    if (!LooksLikeBareHexCode(argument, hexCode)) return;
    const WCHAR* text = FindErrorCodeText(hexCode);
    if (!text) return;
    std::fputs("errorcode_lookup: ", stderr);
    PrintNarrow(stderr, argument);
    std::fprintf(stderr, ": %sas hexadecimal it would be 0x%08X: ", prefix, static_cast<unsigned>(hexCode));
    PrintNarrow(stderr, text);
    std::fputc('\n', stderr);
}

// Standard error's note on a code that the worker's table does not hold:
// its description is the system's message at best, and the code may come
// from outside what the worker itself meets.
void NoteNotInTable(DWORD code) {
    if (FindErrorCodeText(code)) return;
    std::fprintf(stderr, "errorcode_lookup: 0x%08X: not in the worker's table", static_cast<unsigned>(code));
    WCHAR message[kDescriptionCapacity] = {};
    if (GetSystemMessageLine(code, message, kDescriptionCapacity) > 0) {
        std::fputs("; the system's message: ", stderr);
        PrintNarrow(stderr, message);
    } else {
        std::fputs("; the system has no message for it", stderr);
    }
    std::fputc('\n', stderr);
}

// One line per code. A system text's own line end is left off so that each
// description stays on its line.
void PrintDescription(DWORD code) {
    WCHAR description[kDescriptionCapacity] = {};
    GetScanErrorCodes(code, description);
    std::size_t length = WideLength(description);
    while (length && (description[length - 1] == '\r' || description[length - 1] == '\n')) description[--length] = 0;
    std::printf("0x%08X\t", static_cast<unsigned>(code));
    PrintNarrow(stdout, description);
    std::fputc('\n', stdout);
}

}  // namespace

int WorkerMain(int argc, WCHAR** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (argc == 2 && WideEquals(argv[1], TEXT("--help"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && WideEquals(argv[1], TEXT("--version"))) {
        std::fputs("errorcode_lookup " WORKER_VERSION "\n", stdout);
        return 0;
    }
    if (argc == 2 && WideEquals(argv[1], TEXT("--list"))) {
        for (std::size_t i = 0; i < ErrorCodeTableSize(); ++i) PrintDescription(ErrorCodeTableCode(i));
        return 0;
    }
    int result = 0;
    for (int i = 1; i < argc; ++i) {
        DWORD code = 0;
        // Both streams are written in order, so that a note follows the
        // answer it is about.
        if (ParseCode(argv[i], code)) {
            PrintDescription(code);
            std::fflush(stdout);
            NoteNotInTable(code);
            NoteHexadecimalReading(argv[i], "read as decimal; ");
        } else {
            std::fputs("errorcode_lookup: not a result code: ", stderr);
            PrintNarrow(stderr, argv[i]);
            std::fputc('\n', stderr);
            NoteHexadecimalReading(argv[i], "");
            result = 1;
        }
    }
    std::fflush(stdout);
    return result;
}

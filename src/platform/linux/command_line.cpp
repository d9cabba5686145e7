#include "command_line.h"

namespace {
bool IsBlank(WCHAR c) {
    return c == ' ' || c == '\t';
}
}  // namespace

std::vector<std::u16string> SplitWindowsCommandLine(const WCHAR* commandLine) {
    std::vector<std::u16string> tokens;
    if (!commandLine || !*commandLine) return tokens;
    const WCHAR* s = commandLine;

    // The program: no escapes, it ends at the closing quote or the first blank.
    std::u16string program;
    if (*s == '"') {
        ++s;
        while (*s && *s != '"') program += *s++;
        if (*s == '"') ++s;
    } else {
        while (*s && !IsBlank(*s)) program += *s++;
    }
    tokens.push_back(program);

    while (IsBlank(*s)) ++s;
    if (!*s) return tokens;

    // The arguments. quoteCount is 1 inside a quoted part and counts the
    // quotes that follow a closing one; backslashCount the backslashes just
    // copied, which a following quote turns into half as many.
    std::u16string current;
    unsigned quoteCount = 0;
    std::size_t backslashCount = 0;
    while (*s) {
        if (IsBlank(*s) && quoteCount == 0) {
            tokens.push_back(current);
            current.clear();
            backslashCount = 0;
            while (IsBlank(*s)) ++s;
            if (!*s) return tokens;
        } else if (*s == '\\') {
            current += *s++;
            ++backslashCount;
        } else if (*s == '"') {
            current.resize(current.size() - backslashCount / 2);
            if (backslashCount % 2 == 0) {
                ++quoteCount;
            } else {
                current.back() = '"';
            }
            ++s;
            backslashCount = 0;
            while (*s == '"') {
                if (++quoteCount == 3) {
                    current += '"';
                    quoteCount = 0;
                }
                ++s;
            }
            if (quoteCount == 2) quoteCount = 0;
        } else {
            current += *s++;
            backslashCount = 0;
        }
    }
    tokens.push_back(current);
    return tokens;
}

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"
#include "utf.h"

namespace {
thread_local DWORD g_lastError = 0;

bool IsWideSpace(WCHAR c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}

// The value of a decimal digit as the Windows C runtime's wide conversions
// read it, else -1: ASCII digits and the zero-to-nine runs of these scripts.
int DigitValue(WCHAR c) {
    static constexpr WCHAR kZeros[] = {
        0x0030,  // ASCII
        0x0660,  // Arabic-Indic
        0x06F0,  // Extended Arabic-Indic
        0x0966,  // Devanagari
        0x09E6,  // Bengali
        0x0A66,  // Gurmukhi
        0x0AE6,  // Gujarati
        0x0B66,  // Oriya
        0x0C66,  // Telugu
        0x0CE6,  // Kannada
        0x0D66,  // Malayalam
        0x0E50,  // Thai
        0x0ED0,  // Lao
        0x0F20,  // Tibetan
        0x1040,  // Myanmar
        0x17E0,  // Khmer
        0x1810,  // Mongolian
        0xFF10,  // full-width
    };
    for (WCHAR zero : kZeros) {
        if (c >= zero && c < zero + 10) return c - zero;
    }
    return -1;
}
}  // namespace

DWORD GetLastError() {
    return g_lastError;
}

void SetLastError(DWORD error) {
    g_lastError = error;
}

int _wtoi(const WCHAR* text) {
    if (!text) return 0;
    while (IsWideSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long value = 0;
    bool clamped = false;
    for (int digit; (digit = DigitValue(*text)) >= 0; ++text) {
        if (!clamped) {
            value = value * 10 + digit;
            if (value > static_cast<long long>(INT_MAX) + 1) clamped = true;
        }
    }
    if (negative) {
        if (clamped || -value < INT_MIN) return INT_MIN;
        return static_cast<int>(-value);
    }
    if (clamped || value > INT_MAX) return INT_MAX;
    return static_cast<int>(value);
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int cchWideChar, LPSTR multiByte, int cbMultiByte, LPCSTR,
                        BOOL* usedDefaultChar) {
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    if (!wide || cchWideChar == 0 || cbMultiByte < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t length = cchWideChar < 0 ? WideLengthOf(wide) + 1 : static_cast<std::size_t>(cchWideChar);
    std::string utf8 = Utf16ToUtf8(wide, length);
    if (cbMultiByte == 0) return static_cast<int>(utf8.size());
    if (utf8.size() > static_cast<std::size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (std::size_t i = 0; i < utf8.size(); ++i) multiByte[i] = utf8[i];
    return static_cast<int>(utf8.size());
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR multiByte, int cbMultiByte, LPWSTR wide, int cchWideChar) {
    if (!multiByte || cbMultiByte == 0 || cchWideChar < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::size_t length =
        cbMultiByte < 0 ? std::char_traits<char>::length(multiByte) + 1 : static_cast<std::size_t>(cbMultiByte);
    std::u16string utf16 = Utf8ToUtf16(multiByte, length);
    if (cchWideChar == 0) return static_cast<int>(utf16.size());
    if (utf16.size() > static_cast<std::size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (std::size_t i = 0; i < utf16.size(); ++i) wide[i] = utf16[i];
    return static_cast<int>(utf16.size());
}

void Sleep(DWORD milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

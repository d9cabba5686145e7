#include "joblog/log_line.h"

#include <algorithm>
#include <cstdio>

#include "platform/utf8_encoding.h"
#include "platform/wide_string.h"

namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// What would end the line or the text early in a viewer.
bool BreaksLine(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// The end of the text in a line; a text holding it would end there.
const char16_t kTextEnd[] = u"]LOG]!>";
constexpr std::size_t kTextEndLength = sizeof kTextEnd / sizeof kTextEnd[0] - 1;

// Days since 1970-01-01 as a date of the proleptic Gregorian calendar.
void CivilDate(long long days, int& year, int& month, int& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

WideString CleanLogText(const WCHAR* text, std::size_t length) {
    WideString clean;
    clean.reserve(length < kLogTextCapacity ? length : kLogTextCapacity);
    for (std::size_t i = 0; i < length; ++i) {
        const char32_t c = static_cast<char16_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
            if (clean.size() + 2 > kLogTextCapacity) break;
            clean += text[i];
            clean += text[++i];
            continue;
        }
        if (clean.size() + 1 > kLogTextCapacity) break;
        if (IsHighSurrogate(c) || IsLowSurrogate(c))
            clean += static_cast<WCHAR>(kReplacementCharacter);
        else
            clean += BreaksLine(c) ? static_cast<WCHAR>(' ') : text[i];
        // The text end's last character closes it: made a blank, no text
        // end remains, and none can form from it.
        if (clean.size() >= kTextEndLength &&
            std::equal(kTextEnd, kTextEnd + kTextEndLength, clean.end() - kTextEndLength,
                       [](char16_t a, WCHAR b) { return a == static_cast<char16_t>(b); }))
            clean.back() = static_cast<WCHAR>(' ');
    }
    return clean;
}

LogTime ToLogTime(std::chrono::system_clock::time_point moment) {
    using namespace std::chrono;
    const long long ms = duration_cast<milliseconds>(moment.time_since_epoch()).count();
    long long days = ms / 86400000;
    long long inDay = ms % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --days;
    }
    LogTime time{};
    CivilDate(days, time.year, time.month, time.day);
    time.hour = static_cast<int>(inDay / 3600000);
    time.minute = static_cast<int>(inDay / 60000 % 60);
    time.second = static_cast<int>(inDay / 1000 % 60);
    time.millisecond = static_cast<int>(inDay % 1000);
    return time;
}

std::string FormatLogLine(const WCHAR* text, std::size_t length, const LogTime& time, LogType type, DWORD thread) {
    const WideString clean = CleanLogText(text, length);
    std::string line = "<![LOG[";
    for (std::size_t i = 0; i < clean.size(); ++i) {
        char32_t c = static_cast<char16_t>(clean[i]);
        // Clean text holds only whole pairs.
        if (IsHighSurrogate(c)) c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(clean[++i]) - 0xDC00);
        AppendUtf8(line, c);
    }
    char fields[192];
    std::snprintf(fields, sizeof fields,
                  "]LOG]!><time=\"%02d:%02d:%02d.%03d+000\" date=\"%02d-%02d-%04d\" component=\"PatchWorker\" "
                  "context=\"\" type=\"%d\" thread=\"%lu\" file=\"\">\r\n",
                  time.hour, time.minute, time.second, time.millisecond, time.month, time.day, time.year,
                  static_cast<int>(type), static_cast<unsigned long>(thread));
    line += fields;
    return line;
}

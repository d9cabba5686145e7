// The CMTrace line: its exact form, its time in UTC, and text from outside
// that must not end the line or the text early.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "joblog/log_line.h"

#include "platform/wide_string.h"

namespace {

WideString Clean(const std::u16string& text) {
    return CleanLogText(reinterpret_cast<const WCHAR*>(text.data()), text.size());
}

std::u16string Narrowed(const WideString& text) {
    return std::u16string(text.begin(), text.end());
}

TEST(LogLineTest, LineHasEveryFieldInItsPlace) {
    const std::u16string text = u"Job 7: Install caf\u00E9 \U0001F600";
    const LogTime time{2026, 3, 9, 4, 5, 6, 7};
    EXPECT_EQ(FormatLogLine(reinterpret_cast<const WCHAR*>(text.data()), text.size(), time, LogType::Error, 4242),
              "<![LOG[Job 7: Install caf\xC3\xA9 \xF0\x9F\x98\x80]LOG]!><time=\"04:05:06.007+000\" "
              "date=\"03-09-2026\" component=\"PatchWorker\" context=\"\" type=\"3\" thread=\"4242\" file=\"\">\r\n");
}

TEST(LogLineTest, BreakingCharactersBecomeBlanks) {
    EXPECT_EQ(Narrowed(Clean(u"a\r\nb\tc\x7F\x85\u2028\u2029\x01z")), u"a  b c     z");
    // Only the text end's closing character goes; what stays cannot close it.
    EXPECT_EQ(Narrowed(Clean(u"x]LOG]!>y]LOG]!]LOG]!>>")), u"x]LOG]! y]LOG]!]LOG]! >");
}

TEST(LogLineTest, UnpairedSurrogatesAreReplaced) {
    const std::u16string text = {u'a', 0xD800, u'b', 0xDC00, 0xD83D, 0xDE00, 0xDBFF};
    const std::u16string expected = {u'a', 0xFFFD, u'b', 0xFFFD, 0xD83D, 0xDE00, 0xFFFD};
    EXPECT_EQ(Narrowed(Clean(text)), expected);
}

TEST(LogLineTest, LongTextIsCutBetweenCharacters) {
    EXPECT_EQ(Clean(std::u16string(5000, u'x')).size(), kLogTextCapacity);
    // A pair that would end one unit beyond the capacity is left out whole.
    std::u16string text(kLogTextCapacity - 1, u'x');
    text += u"\U0001F600";
    const WideString clean = Clean(text);
    EXPECT_EQ(clean.size(), kLogTextCapacity - 1);
    EXPECT_EQ(static_cast<char16_t>(clean.back()), u'x');
}

TEST(LogLineTest, TimeIsTheCalendarDateInUtc) {
    using std::chrono::milliseconds;
    using std::chrono::system_clock;
    struct Case {
        long long ms;
        LogTime expected;
    };
    const Case cases[] = {
        {0, {1970, 1, 1, 0, 0, 0, 0}},
        {951782400000LL + 1, {2000, 2, 29, 0, 0, 0, 1}},       // a leap day of a year divisible by 400
        {4107542399999LL, {2100, 2, 28, 23, 59, 59, 999}},     // 2100 is not a leap year
        {1804032000000LL - 1, {2027, 3, 2, 23, 59, 59, 999}},  // end of a day
        {-1, {1969, 12, 31, 23, 59, 59, 999}},
    };
    for (const Case& c : cases) {
        const LogTime t = ToLogTime(system_clock::time_point(milliseconds(c.ms)));
        EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond}),
                  (std::vector<int>{c.expected.year, c.expected.month, c.expected.day, c.expected.hour,
                                    c.expected.minute, c.expected.second, c.expected.millisecond}))
            << c.ms;
    }
}

}  // namespace

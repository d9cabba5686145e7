// The worker's number reading and wide formatting, which every console line,
// buffer and report field goes through.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/console.h"
#include "platform/text_format.h"
#include "support/console_capture.h"

namespace {

std::u16string Text(const WCHAR* text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

TEST(Wtoi, ReadsLikeTheCRuntime) {
    struct Case {
        const WCHAR* text;
        int value;
    } cases[] = {
        {TEXT("42"), 42},
        {TEXT("  \t-7x"), -7},
        {TEXT("+5"), 5},
        {TEXT("abc"), 0},
        {TEXT(""), 0},
        {TEXT("1abc"), 1},
        {TEXT("01"), 1},
        {TEXT("007"), 7},
        {TEXT("- 3"), 0},
        {TEXT("2147483647"), INT_MAX},
        {TEXT("-2147483648"), INT_MIN},
        {TEXT("99999999999"), INT_MAX},
        {TEXT("-99999999999"), INT_MIN},
        {TEXT("\n\r\v\f 12"), 12},
        {TEXT("0x10"), 0},
        // Digits of other scripts that the Windows C runtime reads, and
        // neighbours of them that it does not.
        {u"\uFF10\uFF11", 1},
        {u"-\u0661\u0662", -12},
        {u"4\u1819\u0F29", 499},
        {u"\u0BE7", 0},
        {u"\uFF1A", 0},
        {u"\u065F", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(_wtoi(c.text), c.value) << std::string(Text(c.text).begin(), Text(c.text).end());
}

TEST(WideFormat, ConversionsAsTheWorkerWritesThem) {
    WCHAR buffer[128];
    FormatTruncated(buffer, TEXT("0x%X|%x|%d|%u|%%|%s|%S"), static_cast<HRESULT>(0x80240007), 0xBC2u, -6, 7u,
                    TEXT("wide"), "narrow");
    EXPECT_EQ(Text(buffer), u"0x80240007|bc2|-6|7|%|wide|narrow");

    FormatTruncated(buffer, TEXT("%d %X %s %S"), INT_MIN, 0, static_cast<const WCHAR*>(nullptr),
                    static_cast<const char*>(nullptr));
    EXPECT_EQ(Text(buffer), u"-2147483648 0 (null) (null)");

    // Text is copied literally: a percent sign inside an argument stays.
    FormatTruncated(buffer, TEXT("Error description:%s"), TEXT("%d remaining"));
    EXPECT_EQ(Text(buffer), u"Error description:%d remaining");

    // Missing arguments print nothing; unknown conversions stand as written.
    FormatTruncated(buffer, TEXT("[%s][%q]%"));
    EXPECT_EQ(Text(buffer), u"[][%q]%");
}

TEST(WideFormat, CutsOneShortOfTheBufferSoTheTextStaysTerminated) {
    WCHAR endpoint[1024];
    std::u16string host(2000, u'h');
    std::size_t written = FormatTruncated(endpoint, TEXT("http://%s:%s/VeltraneWS/veltwua"),
                                          reinterpret_cast<const WCHAR*>(host.c_str()), TEXT("8080"));
    EXPECT_EQ(written, 1023u);
    EXPECT_EQ(endpoint[1023], 0);
    EXPECT_EQ(Text(endpoint), u"http://" + host.substr(0, 1016));

    WCHAR small[4];
    FormatTruncated(small, TEXT("%d"), 123456);
    EXPECT_EQ(Text(small), u"123");
}

TEST(WideFormat, NarrowTextKeepsNonAsciiCharacters) {
    WCHAR buffer[32];
    FormatTruncated(buffer, TEXT("%S"), "caf\xC3\xA9 \xF0\x9F\x98\x80 \xFF");
    EXPECT_EQ(Text(buffer), u"caf\u00E9 \U0001F600 \u00FF");
}

TEST(Console, WritesUtf16WithWindowsLineEnds) {
    ConsoleCapture console;
    ConsolePrint(TEXT("\n\nSearching %s.\n"), TEXT("caf\u00E9"));
    ConsolePrint(TEXT("no line end"));
    EXPECT_EQ(console.Text(), "\r\n\r\nSearching caf\xC3\xA9.\r\nno line end");
}

TEST(Console, LongLinesArriveWhole) {
    ConsoleCapture console;
    std::u16string path(5000, u'x');
    ConsolePrint(TEXT("File path: %s\n"), reinterpret_cast<const WCHAR*>(path.c_str()));
    EXPECT_EQ(console.Text(), "File path: " + std::string(5000, 'x') + "\r\n");
}

}  // namespace

#include "platform/linux/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char16_t* commandLine;
    std::vector<std::u16string> tokens;
};

// The cases follow what CommandLineToArgvW gives for them.
const SplitCase kCases[] = {
    {u"prog", {u"prog"}},
    {u"prog a b", {u"prog", u"a", u"b"}},
    {u"prog  \t a\t\tb  ", {u"prog", u"a", u"b"}},
    {u"\"C:\\Program Files\\x.exe\" /q", {u"C:\\Program Files\\x.exe", u"/q"}},
    // The program ends at the first quote after the opening one; no escapes.
    {u"\"C:\\dir\\\" rest", {u"C:\\dir\\", u"rest"}},
    {u"prog\\\"x y", {u"prog\\\"x", u"y"}},
    {u"\"a b\"c d", {u"a b", u"c", u"d"}},
    {u"p \"a b\" c", {u"p", u"a b", u"c"}},
    {u"p a\"b c\"d", {u"p", u"ab cd"}},
    {u"p \"\"", {u"p", u""}},
    {u"p \"\" x", {u"p", u"", u"x"}},
    // Backslashes: literal unless they precede a quote.
    {u"p a\\b\\\\c", {u"p", u"a\\b\\\\c"}},
    {u"p a\\\"b", {u"p", u"a\"b"}},
    {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
    {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
    {u"p \"D:\\ORV\\42\\x.msu\" /quiet", {u"p", u"D:\\ORV\\42\\x.msu", u"/quiet"}},
    {u"p \"a\\\\\" b", {u"p", u"a\\", u"b"}},
    // Runs of quotes.
    {u"p \"a\"\"b\" c", {u"p", u"a\"b c"}},
    {u"p \"\"\"a\"\"\" b", {u"p", u"\"a\"", u"b"}},
    {u"p \"\"\"\" x", {u"p", u"\" x"}},
    {u"p \"unterminated arg", {u"p", u"unterminated arg"}},
    {u"cmd /c wusa.exe \"D:\\ORV\\42\\x.msu\" /quiet /norestart",
     {u"cmd", u"/c", u"wusa.exe", u"D:\\ORV\\42\\x.msu", u"/quiet", u"/norestart"}},
    // A leading blank makes an empty program name.
    {u" p a", {u"", u"p", u"a"}},
    {u"\"unterminated program", {u"unterminated program"}},
};

TEST(SplitWindowsCommandLine, FollowsTheWindowsRules) {
    for (const SplitCase& c : kCases) {
        EXPECT_EQ(SplitWindowsCommandLine(c.commandLine), c.tokens)
            << "command line: " << std::string(c.commandLine, c.commandLine + std::u16string(c.commandLine).size());
    }
}

TEST(SplitWindowsCommandLine, NullOrEmptyGivesNoTokens) {
    EXPECT_TRUE(SplitWindowsCommandLine(nullptr).empty());
    EXPECT_TRUE(SplitWindowsCommandLine(u"").empty());
}

}  // namespace

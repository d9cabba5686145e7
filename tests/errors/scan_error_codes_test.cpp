// GetScanErrorCodes as its callers meet it: a cleared description buffer, a
// table text or the system's text behind the code, never more than the
// buffer's last character, no allocation; and the failure text made from it.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "allocation_counter.h"
#include "errors/scan_error_codes.h"
#include "errors/system_message_lookup.h"
#include "platform/text_format.h"
#include "platform/wide_string.h"
#include "support/console_capture.h"

namespace {

WideString Widen(const char* text) {
    WideString wide;
    for (; *text; ++text) wide.push_back(static_cast<WCHAR>(*text));
    return wide;
}

WideString Describe(DWORD code) {
    WCHAR description[kDescriptionCapacity] = {};
    GetScanErrorCodes(code, description);
    return description;
}

// A cleared description with marks behind it, to see how far a call wrote.
struct MarkedBuffer {
    MarkedBuffer() {
        for (WCHAR& c : text) c = '#';
        text[0] = 0;
    }
    WCHAR text[kDescriptionCapacity + 76];
};

int g_systemCalls = 0;
DWORD g_lastSystemCode = 0;
DWORD g_lastCapacity = 0;

DWORD FixedSystemText(DWORD code, WCHAR* buffer, DWORD capacity) {
    ++g_systemCalls;
    g_lastSystemCode = code;
    g_lastCapacity = capacity;
    const char text[] = "A system text with an insert %1 kept as it is.\r\n";
    DWORD i = 0;
    for (; text[i]; ++i) buffer[i] = static_cast<WCHAR>(text[i]);
    buffer[i] = 0;
    return i;
}

// Fills the whole buffer it is given, terminator included.
DWORD LongestSystemText(DWORD, WCHAR* buffer, DWORD capacity) {
    ++g_systemCalls;
    for (DWORD i = 0; i + 1 < capacity; ++i) buffer[i] = static_cast<WCHAR>('a' + i % 26);
    buffer[capacity - 1] = 0;
    return capacity - 1;
}

// Writes every character without a terminator.
DWORD UnterminatedSystemText(DWORD, WCHAR* buffer, DWORD capacity) {
    for (DWORD i = 0; i < capacity; ++i) buffer[i] = 'z';
    return capacity;
}

DWORD NoSystemText(DWORD, WCHAR*, DWORD) {
    return 0;
}

DWORD ThrowingSystemText(DWORD, WCHAR* buffer, DWORD) {
    buffer[0] = 'x';
    throw std::runtime_error("message table unavailable");
}

class ScanErrorCodes : public ::testing::Test {
protected:
    void SetUp() override {
        g_systemCalls = 0;
        previous_ = SetSystemMessageFunction(FixedSystemText);
    }
    void TearDown() override { SetSystemMessageFunction(previous_); }

private:
    SystemMessageFunction previous_ = nullptr;
};

}  // namespace

TEST_F(ScanErrorCodes, TableCodesGiveTheirRowWithoutAskingTheSystem) {
    EXPECT_EQ(Describe(0x00000000), Widen("Success"));
    EXPECT_EQ(Describe(0xFFFFFFFF), Widen("0xFFFFFFFF"));
    EXPECT_EQ(Describe(static_cast<DWORD>(-1)), Widen("0xFFFFFFFF"));
    EXPECT_EQ(Describe(0x80240007), Widen("  "));
    EXPECT_EQ(Describe(0x8007F04A), Widen("The server did not respond (error code %d)."));
    EXPECT_EQ(Describe(0x8007F0A2), Widen("Unpacking: %d remaining"));
    EXPECT_EQ(Describe(0x8024001C), Widen("0x8024001C"));
    EXPECT_EQ(Describe(0xC000001D), Widen("0xc000001d"));
    EXPECT_EQ(Describe(0x80072F7C), Widen("0x80072F7c"));
    EXPECT_EQ(Describe(0x80070001), Widen("Incorrect function."));
    EXPECT_EQ(Describe(0x00000001), Widen("Incorrect function"));
    EXPECT_EQ(g_systemCalls, 0);
}

TEST_F(ScanErrorCodes, TheSevenBitsProtocolCodesShareOneText) {
    const WideString text = Describe(0x801900C8);
    EXPECT_EQ(text.substr(0, 34), Widen("The servers response was not valid"));
    for (DWORD code : {0x801900CDu, 0x80190130u, 0x80190192u, 0x8019019Fu, 0x801901C1u, 0x8020001Bu}) {
        EXPECT_EQ(Describe(code), text) << std::hex << code;
    }
}

TEST_F(ScanErrorCodes, TheLongestTextArrivesWholeAndTerminated) {
    MarkedBuffer description;
    GetScanErrorCodes(0x80070057, description.text);
    EXPECT_EQ(WideLength(description.text), 709u);
    EXPECT_EQ(description.text[710], '#');
}

TEST_F(ScanErrorCodes, OtherCodesGetTheSystemTextBehindTheCode) {
    EXPECT_EQ(Describe(0x80070004), Widen("(80070004) A system text with an insert %1 kept as it is.\r\n"));
    EXPECT_EQ(g_lastSystemCode, 0x80070004u);
    EXPECT_EQ(g_lastCapacity, 1023u);
    EXPECT_EQ(Describe(0x80240043).substr(0, 11), Widen("(80240043) "));
    // Upper-case digits without leading zeros.
    EXPECT_EQ(Describe(0x0000ABCD).substr(0, 7), Widen("(ABCD) "));
    EXPECT_EQ(g_systemCalls, 3);
}

TEST_F(ScanErrorCodes, SystemInsertsAreLeftAsTheyStand) {
    // The platform's own lookup: a message with an insert comes back whole,
    // the insert unexpanded, since no arguments are given for it.
    SetSystemMessageFunction(nullptr);
    EXPECT_EQ(Describe(193), Widen("(C1) %1 is not a valid application for this system.\r\n"));
}

TEST_F(ScanErrorCodes, NoSystemTextLeavesTheCodeAlone) {
    SetSystemMessageFunction(NoSystemText);
    EXPECT_EQ(Describe(0x80240043), Widen("(80240043) "));
}

TEST_F(ScanErrorCodes, AnOverlongSystemTextIsCutTo1023Characters) {
    SetSystemMessageFunction(LongestSystemText);
    MarkedBuffer description;
    GetScanErrorCodes(0x80070004, description.text);
    EXPECT_EQ(WideLength(description.text), kDescriptionCapacity - 1);
    EXPECT_EQ(description.text[kDescriptionCapacity], '#');
    EXPECT_EQ(WideString(description.text).substr(0, 14), Widen("(80070004) abc"));

    // A lookup that leaves no terminator does not run past its buffer.
    SetSystemMessageFunction(UnterminatedSystemText);
    MarkedBuffer again;
    GetScanErrorCodes(0x80070004, again.text);
    EXPECT_EQ(WideLength(again.text), kDescriptionCapacity - 1);
    EXPECT_EQ(again.text[kDescriptionCapacity], '#');
}

TEST_F(ScanErrorCodes, AnExceptionInTheSystemLookupIsReportedAndLeavesTheBufferAlone) {
    SetSystemMessageFunction(ThrowingSystemText);
    WCHAR description[kDescriptionCapacity] = {};
    ConsoleCapture console;
    GetScanErrorCodes(0x80070004, description);
    EXPECT_EQ(description[0], 0);
    EXPECT_EQ(console.Text(), "Exception caught in GetScanErrorCodes while FormatMessage\r\n");
}

TEST_F(ScanErrorCodes, LookupsAllocateNothing) {
    // The counter sees an allocation when there is one.
    std::size_t start = HeapAllocationCount();
    auto probe = std::make_unique<int>(1);
    ASSERT_EQ(HeapAllocationCount(), start + 1);

    WCHAR description[kDescriptionCapacity];
    std::size_t before = HeapAllocationCount();
    for (DWORD code : {0x00000000u, 0x80070057u, 0x80240007u, 0xFFFFFFFFu, 0x80070004u, 0x80240043u}) {
        description[0] = 0;
        GetScanErrorCodes(code, description);
    }
    // The default system lookup too.
    SetSystemMessageFunction(nullptr);
    description[0] = 0;
    GetScanErrorCodes(0x80070004, description);
    EXPECT_EQ(HeapAllocationCount(), before);
    EXPECT_EQ(WideString(description).substr(0, 11), Widen("(80070004) "));
}

TEST_F(ScanErrorCodes, ANullBufferIsIgnored) {
    GetScanErrorCodes(0x80070057, nullptr);
    GetScanErrorCodes(0x80070004, nullptr);
    EXPECT_EQ(g_systemCalls, 0);
}

TEST_F(ScanErrorCodes, FailureTextNamesTheDescriptionOrTheBareCode) {
    MarkedBuffer failure;
    WriteFailureText(0x80240007, failure.text);
    EXPECT_EQ(WideString(failure.text), Widen("Error description:  "));

    // An empty description leaves the code, in upper-case hexadecimal.
    SetSystemMessageFunction(ThrowingSystemText);
    {
        ConsoleCapture quiet;  // the lookup's exception line
        WriteFailureText(0x8024ABCD, failure.text, TEXT("Failed to initialize COM library. "));
    }
    EXPECT_EQ(WideString(failure.text), Widen("Failed to initialize COM library. Error code: 0x8024ABCD"));

    // The prefix counts against the same buffer: the text is cut, terminated.
    SetSystemMessageFunction(LongestSystemText);
    WriteFailureText(0x80070004, failure.text);
    EXPECT_EQ(WideString(failure.text).substr(0, 29), Widen("Error description:(80070004) "));
    EXPECT_EQ(WideLength(failure.text), kDescriptionCapacity - 1);
    EXPECT_EQ(failure.text[kDescriptionCapacity], '#');
}

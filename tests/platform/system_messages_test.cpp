// The Linux substitute's system message table, as GetScanErrorCodes and the
// Windows API's callers ask it.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/wide_string.h"

namespace {

constexpr DWORD kMessageNotFound = 317;

DWORD Ask(DWORD flags, DWORD code, WCHAR* buffer, DWORD size) {
    return FormatMessageW(flags, nullptr, code, 0, buffer, size, nullptr);
}

}  // namespace

TEST(SystemMessages, Win32NumbersAndTheirHresultsShareOneLine) {
    WCHAR plain[1023] = {};
    WCHAR wrapped[1023] = {};
    DWORD length = Ask(FORMAT_MESSAGE_FROM_SYSTEM, 5, plain, 1023);
    ASSERT_GT(length, 2u);
    EXPECT_EQ(WideString(plain).size(), length);
    EXPECT_EQ(WideString(plain).substr(length - 2), WideString(TEXT("\r\n")));
    EXPECT_EQ(Ask(FORMAT_MESSAGE_FROM_SYSTEM, 0x80070005, wrapped, 1023), length);
    EXPECT_EQ(WideString(wrapped), WideString(plain));
}

TEST(SystemMessages, RefusalsSayWhy) {
    WCHAR buffer[1023] = {TEXT('#')};
    // Unknown numbers, and HRESULTs of other facilities.
    for (DWORD code : {0x00004E20u, 0x80240043u, 0x80040005u}) {
        SetLastError(0);
        EXPECT_EQ(Ask(FORMAT_MESSAGE_FROM_SYSTEM, code, buffer, 1023), 0u);
        EXPECT_EQ(GetLastError(), kMessageNotFound);
    }
    // A buffer without room for text and terminator is left alone.
    SetLastError(0);
    EXPECT_EQ(Ask(FORMAT_MESSAGE_FROM_SYSTEM, 5, buffer, 4), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[0], TEXT('#'));
    // Only the system table is here.
    for (DWORD flags : {0u, static_cast<DWORD>(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER),
                        static_cast<DWORD>(FORMAT_MESSAGE_FROM_STRING)}) {
        SetLastError(0);
        EXPECT_EQ(Ask(flags, 5, buffer, 1023), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(Ask(FORMAT_MESSAGE_FROM_SYSTEM, 5, nullptr, 1023), 0u);
}

#include "deploy/standalone_package.h"
#include "platform/wide_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IsStandalonePackageTitle, CumulativeUpdatesForWindowsAndServerInAnyLetterCase) {
    EXPECT_TRUE(IsStandalonePackageTitle(TEXT("2026-11 Cumulative Update for Windows 11 Version 24H2 (KB5066835)")));
    EXPECT_TRUE(IsStandalonePackageTitle(TEXT("CUMULATIVE UPDATE FOR WINDOWS SERVER 2022 (KB5066782)")));
    EXPECT_TRUE(IsStandalonePackageTitle(
        TEXT("2026-10 Cumulative Update for Microsoft server operating system version 24H2 for x64")));
}

TEST(IsStandalonePackageTitle, OtherUpdatesGoThroughTheUpdateAgent) {
    EXPECT_FALSE(IsStandalonePackageTitle(TEXT("2026-11 Cumulative Update for Windows 10 Version 22H2 (KB5066791)")));
    EXPECT_FALSE(IsStandalonePackageTitle(TEXT("Cumulative Update for .NET Framework 3.5 and 4.8.1 (KB5066131)")));
    EXPECT_FALSE(IsStandalonePackageTitle(TEXT("Security Update for Microsoft Office 2016 (KB5002700)")));
    EXPECT_FALSE(IsStandalonePackageTitle(nullptr));
}

TEST(IsStandalonePackageTitle, OnlyLatinLettersAreLowered) {
    // A dotted capital I (U+0130) is not a Latin letter A to Z: no match.
    EXPECT_FALSE(IsStandalonePackageTitle(TEXT("Cumulative Update for W\u0130ndows 11")));
    // Text beyond the 1023 characters that are read is not searched.
    WideString longTitle(1010, TEXT('x'));
    longTitle += TEXT("Cumulative Update for Windows 11");
    EXPECT_FALSE(IsStandalonePackageTitle(longTitle.c_str()));
}

}  // namespace

#include "deploy/job_file_names.h"

#include <gtest/gtest.h>

#include <string>

#include "deploy/content_file.h"
#include "errors/scan_error_codes.h"
#include "platform/wide_string.h"

namespace {

TEST(CheckJobFolderName, OnlyOneFolderInsideTheInstallDirectory) {
    for (const WCHAR* usable : {TEXT("42"), TEXT("abc"), TEXT("4.2"), TEXT(" 7")}) {
        WCHAR description[kDescriptionCapacity] = {};
        EXPECT_EQ(CheckJobFolderName(usable, description), kGoOn);
        EXPECT_EQ(description[0], 0);
    }
    for (const WCHAR* refused :
         {TEXT(""), TEXT("."), TEXT(".."), TEXT("4..2"), TEXT("..\\pub"), TEXT("../pub"), TEXT("C:"), TEXT("42\t"),
          TEXT("4\x7F"), TEXT("4*"), TEXT("4?"), TEXT("4|2"), TEXT("4<2"), TEXT("4>2"), TEXT("4\"2")}) {
        WCHAR description[kDescriptionCapacity] = {};
        EXPECT_EQ(CheckJobFolderName(refused, description), StepResult(-1)) << WideString(refused).size();
        EXPECT_EQ(WideString(description), TEXT("Invalid job identifier: it is not a valid folder name."));
    }
    EXPECT_EQ(CheckJobFolderName(nullptr, WideString(kDescriptionCapacity, 0).data()), StepResult(-1));
}

TEST(IsContentFileName, NoPathDriveOrDotNames) {
    for (const WCHAR* name : {TEXT("a.cab"), TEXT(".cab"), TEXT("..cab"), TEXT(""), TEXT("a b%.cab")}) {
        EXPECT_TRUE(IsContentFileName(name));
    }
    for (const WCHAR* name : {TEXT("."), TEXT(".."), TEXT("..\\..\\x.cab"), TEXT("x.cab:stream"), TEXT("C:x.cab")}) {
        EXPECT_FALSE(IsContentFileName(name));
    }
}

}  // namespace

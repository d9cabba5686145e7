#include "deploy/msu_file_name.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "standins/test_programs.h"

namespace {

using test_programs::TempDrives;
using test_programs::WriteFile;

class GetMsuFileNameTest : public ::testing::Test {
protected:
    TempDrives drive_;
};

TEST_F(GetMsuFileNameTest, FirstMsuEntryInAnyLetterCase) {
    WriteFile(drive_ / "D/ORV/42/windows10.0-kb5034441-x64.msu", "");
    WriteFile(drive_ / "D/ORV/42/readme.txt", "");
    WriteFile(drive_ / "D/ORV/42/A.MSU.sig", "");
    WriteFile(drive_ / "D/ORV/42/b.Msu", "");
    EXPECT_EQ(GetMsuFileName(u"D:\\ORV", u"42"), u"b.Msu");
}

// Of several packages, the one that NTFS lists first, whatever order the
// folder lists them in (some file systems list by creation, either way):
// letters compared in upper case, so "_" comes after them, and of names that
// differ only in letter case the upper-case one.
TEST_F(GetMsuFileNameTest, OfSeveralPackagesTheOneNtfsListsFirst) {
    const std::vector<std::string> names = {"b.msu", "_a.msu", "a.msu", "A.MSU"};
    for (const std::string& name : names) WriteFile(drive_ / ("D/ORV/50/" + name), "");
    for (auto name = names.rbegin(); name != names.rend(); ++name) WriteFile(drive_ / ("D/ORV/51/" + *name), "");
    EXPECT_EQ(GetMsuFileName(u"D:\\ORV", u"50"), u"A.MSU");
    EXPECT_EQ(GetMsuFileName(u"D:\\ORV", u"51"), u"A.MSU");
}

TEST_F(GetMsuFileNameTest, EmptyWithoutAnMsuEntry) {
    std::filesystem::create_directories(drive_ / "D/ORV/43/package");
    WriteFile(drive_ / "D/ORV/43/msu", "");
    WriteFile(drive_ / "D/ORV/43/readme.txt", "");
    EXPECT_EQ(GetMsuFileName(u"D:\\ORV", u"43"), u"");
    EXPECT_EQ(GetMsuFileName(u"D:\\ORV", u"45"), u"");
}

TEST_F(GetMsuFileNameTest, PatternIsCutAt255Characters) {
    // A job ID that pushes the "\*" past the pattern's 255 characters leaves
    // a pattern naming the folder itself, not its entries.
    // "D:\ORV\" is 7 characters: 7 + 250 + 2 is over 255, 7 + 245 + 2 is not.
    std::u16string jobId(250, u'9');
    WriteFile(drive_ / ("D/ORV/" + std::string(250, '9') + "/x.msu"), "");
    EXPECT_EQ(GetMsuFileName(u"D:\\ORV", jobId.c_str()), u"");
    std::u16string shorter(245, u'9');
    WriteFile(drive_ / ("D/ORV/" + std::string(245, '9') + "/x.msu"), "");
    EXPECT_EQ(GetMsuFileName(u"D:\\ORV", shorter.c_str()), u"x.msu");
}

}  // namespace

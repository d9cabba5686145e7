// One job's records on real files of a temporary drive C: each write a
// whole new generation on the disk, a failed write or removal never leaving
// an older record as the job's newest, and no file reached through a link.
#include "spool/report_spool.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/linux/file_faults.h"
#include "spool/report_record.h"
#include "spool_drive.h"
#include "standins/file_holder.h"

namespace {

class ReportSpoolTest : public testing::Test {
protected:
    void TearDown() override { ClearFileFaults(); }
    SpoolDrive drive_{"report_spool_test"};

    // The record that the file name holds, as the spool reads it back.
    std::optional<ReportRecord> RecordIn(const std::string& name) const {
        return ReadReportRecord(SpoolDrive::Read(drive_.File(name)));
    }
};

const ReportRecord kInterrupted = RecordOf(42, -6, L"interrupted");
const ReportRecord kOutcome = RecordOf(42, 6, L"");

TEST_F(ReportSpoolTest, EachWriteIsANewGenerationThatRemovesTheOlderOnes) {
    ReportSpool spool(TEXT("42"), TEXT("C"));
    ASSERT_TRUE(spool.InUse());
    ASSERT_TRUE(spool.Write(kInterrupted));
    EXPECT_EQ(drive_.Files(), std::set<std::string>{"42.1.xml"});
    ASSERT_TRUE(spool.Write(kOutcome));
    EXPECT_EQ(drive_.Files(), std::set<std::string>{"42.2.xml"});
    EXPECT_EQ(RecordIn("42.2.xml")->nStatus, 6);
    EXPECT_TRUE(spool.Remove());
    EXPECT_TRUE(drive_.Files().empty());
}

TEST_F(ReportSpoolTest, ANewRunSupersedesWhatEarlierRunsLeft) {
    fs::create_directories(drive_.Reports());
    SpoolDrive::Write(drive_.File("42.xml"), "an earlier worker's record");
    SpoolDrive::Write(drive_.File("42.7.xml"), "an earlier run's record");
    SpoolDrive::Write(drive_.File("42.9.xml.tmp"), "a write stopped half way");
    ReportSpool spool(TEXT("42"), TEXT("C"));
    EXPECT_EQ(drive_.Files(), (std::set<std::string>{"42.xml", "42.7.xml"}));
    ASSERT_TRUE(spool.Write(kInterrupted));
    EXPECT_EQ(drive_.Files(), std::set<std::string>{"42.10.xml"});
}

// A full disk, or a file that another program holds: the write fails as a
// whole and the job's previous record stays the newest, unchanged.
TEST_F(ReportSpoolTest, AWriteThatFailsAtAnyStepKeepsThePreviousRecordAndNoTemporaryFile) {
    const struct {
        FileCall call;
        DWORD error;
    } faults[] = {{FileCall::Create, ERROR_DISK_FULL},
                  {FileCall::Write, ERROR_DISK_FULL},
                  {FileCall::Flush, ERROR_DISK_FULL},
                  {FileCall::Move, ERROR_ACCESS_DENIED}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(static_cast<int>(fault.call));
        ReportSpool spool(TEXT("42"), TEXT("C"));
        ASSERT_TRUE(spool.Write(kInterrupted));
        const std::set<std::string> before = drive_.Files();
        FailFileCalls(fault.call, ".tmp", fault.error);
        EXPECT_FALSE(spool.Write(kOutcome));
        ClearFileFaults();
        EXPECT_EQ(drive_.Files(), before);
        EXPECT_EQ(RecordIn(*before.begin())->nStatus, -6);
        EXPECT_TRUE(spool.Remove());
    }
}

// Another program holds the older record: it stays beside the newer one,
// and the newer one is never removed while it does.
TEST_F(ReportSpoolTest, ARecordThatCannotBeDeletedKeepsEveryNewerOne) {
    ReportSpool spool(TEXT("42"), TEXT("C"));
    ASSERT_TRUE(spool.Write(kInterrupted));
    FailFileCalls(FileCall::Delete, "42.1.xml", ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(spool.Write(kOutcome));
    EXPECT_EQ(drive_.Files(), (std::set<std::string>{"42.1.xml", "42.2.xml"}));
    EXPECT_FALSE(spool.Remove());
    EXPECT_EQ(drive_.Files(), (std::set<std::string>{"42.1.xml", "42.2.xml"}));
    ClearFileFaults();
    EXPECT_TRUE(spool.Remove());
    EXPECT_TRUE(drive_.Files().empty());
}

// The same with another process holding the older record, in each share
// mode a virus scanner may use: without delete sharing it stays, and the
// newest with it; with it, its name stays until the holder closes it.
TEST_F(ReportSpoolTest, ARecordHeldByAnotherProgramNeverLeavesTheOlderRecordAlone) {
    for (const char* share : {"-", "r", "rw", "rwd"}) {
        SCOPED_TRACE(share);
        ReportSpool spool(TEXT("42"), TEXT("C"));
        ASSERT_TRUE(spool.Write(kInterrupted));
        const std::string older = *drive_.Files().begin();
        test_programs::FileHolder holder("r", share, drive_.File(older).string());
        ASSERT_TRUE(holder.Held()) << holder.Reply();
        ASSERT_TRUE(spool.Write(kOutcome));
        EXPECT_FALSE(spool.Remove());
        const std::set<std::string> held = drive_.Files();
        EXPECT_EQ(held.size(), 2u);
        EXPECT_EQ(RecordIn(*held.rbegin())->nStatus, 6);
        EXPECT_EQ(holder.Release(), 0);
        EXPECT_TRUE(spool.Remove());
        EXPECT_TRUE(drive_.Files().empty());
    }
}

TEST_F(ReportSpoolTest, TheSameJobCannotBeClaimedTwice) {
    ReportSpool first(TEXT("42"), TEXT("C"));
    ReportSpool second(TEXT("42"), TEXT("C"));
    ReportSpool other(TEXT("43"), TEXT("C"));
    EXPECT_TRUE(first.InUse());
    EXPECT_FALSE(second.InUse());
    EXPECT_TRUE(second.JobAlreadyRunning());
    EXPECT_TRUE(other.InUse());
    EXPECT_FALSE(other.JobAlreadyRunning());
}

// A link planted where the worker writes makes it write the link's name
// afresh, never the file the link leads to.
TEST_F(ReportSpoolTest, NoFileIsWrittenThroughALinkPlantedAsTheTemporaryFile) {
    fs::create_directories(drive_.Reports());
    const fs::path outside = drive_.Root() / "outside.txt";
    SpoolDrive::Write(outside, "not the worker's");
    ASSERT_EQ(link(outside.c_str(), drive_.File("42.1.xml.tmp").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), drive_.File("42.2.xml.tmp").c_str()), 0);
    ReportSpool spool(TEXT("42"), TEXT("C"));
    ASSERT_TRUE(spool.Write(kInterrupted));
    ASSERT_TRUE(spool.Write(kOutcome));
    EXPECT_EQ(SpoolDrive::Read(outside), "not the worker's");
    EXPECT_TRUE(fs::exists(outside));
}

TEST_F(ReportSpoolTest, ASpoolFolderOnALinkIsNotUsed) {
    const fs::path elsewhere = drive_.Root() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, drive_.Reports());
    EXPECT_FALSE(ReportSpool(TEXT("42"), TEXT("C")).InUse());
    fs::remove(drive_.Reports());
    fs::rename(drive_.PatchDeploy(), drive_.Root() / "real");
    fs::create_directory_symlink(drive_.Root() / "real", drive_.PatchDeploy());
    EXPECT_FALSE(ReportSpool(TEXT("42"), TEXT("C")).InUse());
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_FALSE(fs::exists(drive_.Root() / "real" / "Reports"));
}

TEST_F(ReportSpoolTest, TheSpoolFolderIsMadeForTheServiceAccountsOnly) {
    ReportSpool spool(TEXT("42"), TEXT("C"));
    ASSERT_TRUE(spool.InUse());
    EXPECT_EQ(fs::status(drive_.Reports()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(ReportSpoolTest, AJobThatIsNotAPlainNumberOrADriveWithoutTheAgentIsNotSpooled) {
    EXPECT_FALSE(ReportSpool(TEXT("4a"), TEXT("C")).InUse());
    EXPECT_FALSE(ReportSpool(TEXT("2147483648"), TEXT("C")).InUse());
    EXPECT_FALSE(ReportSpool(TEXT("42"), TEXT("D")).InUse());
    EXPECT_FALSE(fs::exists(drive_.Root() / "D"));
}

}  // namespace

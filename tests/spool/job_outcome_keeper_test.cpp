// The keeper on real files: what the job's record holds at each point of a
// job, what it holds when the disk refuses a write or another program holds
// the older record, and the job's time limit.
#include "spool/job_outcome_keeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>

#include "platform/linux/file_faults.h"
#include "platform/test_seams.h"
#include "spool_drive.h"
#include "standins/test_programs.h"
#include "status/report_text.h"

namespace {

ns1__UpdateDeployJobStatus RequestOf(int status, wchar_t* description) {
    ns1__UpdateDeployJobStatus request;
    request.nJobID = 42;
    request.nStatus = status;
    request.strErrorDescription = description;
    return request;
}

class JobOutcomeKeeperTest : public testing::Test {
protected:
    void TearDown() override { ClearFileFaults(); }

    // The job's records, newest last, as (file name, status).
    std::vector<std::pair<std::string, int>> Records() const {
        std::vector<std::pair<std::string, int>> records;
        for (const std::string& name : drive_.Files()) {
            std::optional<ReportRecord> record = ReadReportRecord(SpoolDrive::Read(drive_.File(name)));
            records.emplace_back(name, record ? record->nStatus : 0);
        }
        return records;
    }

    SpoolDrive drive_{"job_outcome_keeper_test"};
    std::wstring interruptedText_{L"interrupted"};
    ns1__UpdateDeployJobStatus interrupted_ = RequestOf(-6, interruptedText_.data());
    ns1__UpdateDeployJobStatus outcome_ = RequestOf(6, nullptr);
    // A server that cannot be reached: each report has one failed attempt.
    SendJobReport send_ = [](JobOutcomeKeeper& keeper, ns1__UpdateDeployJobStatus&, JobEnd) {
        keeper.AttemptFailed();
        return false;
    };
};

using RecordList = std::vector<std::pair<std::string, int>>;

TEST_F(JobOutcomeKeeperTest, TheRecordIsInterruptedBeforeTheJobAndTheOutcomeBeforeItIsSent) {
    JobOutcomeKeeper keeper(TEXT("42"), TEXT("C"), interrupted_, send_);
    // Beside it, the outcome's space, which the outcome's write takes.
    EXPECT_EQ(Records(), (RecordList{{"42.1.xml", -6}, {"42.2.xml.tmp", 0}}));
    keeper.OutcomeKnown(outcome_);
    EXPECT_TRUE(keeper.ReadyToSend());
    EXPECT_EQ(Records(), (RecordList{{"42.2.xml", 6}}));
    keeper.AttemptFailed();
    EXPECT_EQ(Records(), (RecordList{{"42.3.xml", 6}}));
    EXPECT_EQ(ReadReportRecord(SpoolDrive::Read(drive_.File("42.3.xml")))->attempts, 1);
}

// A full disk: the outcome cannot be written, so the interrupted record is
// removed rather than left to contradict it; a count that cannot be
// written leaves the same outcome behind.
TEST_F(JobOutcomeKeeperTest, AnOutcomeThatCannotBeWrittenRemovesTheOlderRecord) {
    JobOutcomeKeeper keeper(TEXT("42"), TEXT("C"), interrupted_, send_);
    FailFileCalls(FileCall::Write, ".tmp", ERROR_DISK_FULL);
    keeper.OutcomeKnown(outcome_);
    EXPECT_TRUE(keeper.ReadyToSend());
    EXPECT_TRUE(Records().empty());

    ClearFileFaults();
    JobOutcomeKeeper next(TEXT("43"), TEXT("C"), interrupted_, send_);
    next.OutcomeKnown(outcome_);
    FailFileCalls(FileCall::Write, ".tmp", ERROR_DISK_FULL);
    next.AttemptFailed();
    EXPECT_EQ(Records(), (RecordList{{"43.2.xml", 6}}));
    // The outcome still stands for the job: it is sent, and not written again.
    ClearFileFaults();
    EXPECT_TRUE(next.ReadyToSend());
    EXPECT_EQ(Records(), (RecordList{{"43.2.xml", 6}}));
}

// Another program holds the interrupted record while the disk is full: the
// outcome is not sent while only that record stands for the job, and is
// once either the outcome is written or the record removed.
TEST_F(JobOutcomeKeeperTest, TheOutcomeIsHeldBackWhileOnlyAnOlderRecordStandsForTheJob) {
    JobOutcomeKeeper keeper(TEXT("42"), TEXT("C"), interrupted_, send_);
    FailFileCalls(FileCall::Write, ".tmp", ERROR_DISK_FULL);
    FailFileCalls(FileCall::Delete, "42.1.xml", ERROR_SHARING_VIOLATION);
    keeper.OutcomeKnown(outcome_);
    EXPECT_FALSE(keeper.ReadyToSend());
    keeper.AttemptFailed();
    EXPECT_FALSE(keeper.ReadyToSend());
    EXPECT_EQ(Records(), (RecordList{{"42.1.xml", -6}}));
    ClearFileFaults();
    EXPECT_TRUE(keeper.ReadyToSend());
    EXPECT_EQ(Records(), (RecordList{{"42.5.xml", 6}}));
}

TEST_F(JobOutcomeKeeperTest, ASecondRunOfTheJobKeepsNothingAndLeavesTheFirstRunsRecord) {
    JobOutcomeKeeper first(TEXT("42"), TEXT("C"), interrupted_, send_);
    JobOutcomeKeeper second(TEXT("42"), TEXT("C"), interrupted_, send_);
    EXPECT_FALSE(first.JobAlreadyRunning());
    EXPECT_TRUE(second.JobAlreadyRunning());
    second.OutcomeKnown(outcome_);
    second.AttemptFailed();
    EXPECT_EQ(Records(), (RecordList{{"42.1.xml", -6}, {"42.2.xml.tmp", 0}}));
}

// The limit passes while the job is inside the update agent: the record
// takes the time limit's text and the process ends with 0, its report kept
// for a later job when the server cannot be reached.
TEST_F(JobOutcomeKeeperTest, TheTimeLimitRecordsItsReportAndEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "fast");
    ScopedTestSeams seams;
    seams->jobTimeLimitMilliseconds = [](DWORD) -> DWORD { return 1; };
    EXPECT_EXIT(
        {
            // The report goes to the job's one sending routine as the time
            // limit's, with the time limit's text.
            const SendJobReport send = [this](JobOutcomeKeeper& keeper, ns1__UpdateDeployJobStatus& request,
                                              JobEnd end) {
                if (end != JobEnd::TimeLimit || request.strErrorDescription == nullptr ||
                    request.strErrorDescription != ToReportText(JobOutcomeKeeper::kTimeLimitText))
                    std::_Exit(2);
                return send_(keeper, request, end);
            };
            JobOutcomeKeeper keeper(TEXT("42"), TEXT("C"), interrupted_, send);
            // The time limit's action ends the process; a child still here
            // at the deadline fails with another code.
            std::promise<void> never;
            never.get_future().wait_for(std::chrono::seconds(60));
            std::_Exit(1);
        },
        testing::ExitedWithCode(0), "");
    const RecordList records = Records();
    ASSERT_EQ(records.size(), 1u);
    std::optional<ReportRecord> record = ReadReportRecord(SpoolDrive::Read(drive_.File(records[0].first)));
    EXPECT_EQ(*record->strErrorDescription, ToReportText(JobOutcomeKeeper::kTimeLimitText));
    EXPECT_EQ(record->attempts, 1);
}

TEST(JobWatchdogTest, TheActionRunsOnlyWhenTheLimitPassesFirst) {
    std::atomic<bool> ran{false};
    {
        JobWatchdog watchdog(60000, [&] { ran = true; });
        watchdog.StopTimeLimit();
    }
    EXPECT_FALSE(ran);
    std::promise<void> done;
    {
        JobWatchdog watchdog(1, [&] {
            ran = true;
            done.set_value();
        });
        // A watchdog whose action never runs fails here instead of hanging.
        ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    }
    EXPECT_TRUE(ran);
}

}  // namespace

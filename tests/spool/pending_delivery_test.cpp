// The delivery of what earlier jobs left, with the server's answers and the
// clocks played by the test: no record blocks the ones behind it, nothing
// is removed for its age unless its delivery failed, and what is not a
// record is set aside without holding the job.
#include "spool/pending_delivery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <vector>

#include "platform/test_seams.h"
#include "spool_drive.h"

namespace {

const std::time_t kNow = 1'800'000'000;
const std::time_t kDay = 24 * 3600;

class PendingDeliveryTest : public testing::Test {
protected:
    SpoolDrive drive_{"pending_delivery_test"};
    std::time_t now_ = kNow;
    long long milliseconds_ = 0;
    // The server's answer per job (acknowledged when not named), and the
    // jobs it was sent, in order.
    std::map<int, AttemptResult> answers_;
    std::vector<int> sent_;
    std::vector<int> statuses_;
    long long millisecondsPerSend_ = 0;
    // The spool's clocks are the test's.
    ScopedTestSeams clock_;

    void SetUp() override {
        clock_->now = [this] { return now_; };
        clock_->steadyMilliseconds = [this] { return milliseconds_; };
    }

    // Runs the delivery of job 1's run.
    void Deliver() {
        ReportSpool spool(TEXT("1"), TEXT("C"));
        ASSERT_TRUE(spool.InUse());
        SendPendingReport send = [this](ns1__UpdateDeployJobStatus& request) {
            sent_.push_back(request.nJobID);
            statuses_.push_back(request.nStatus);
            milliseconds_ += millisecondsPerSend_;
            auto answer = answers_.find(request.nJobID);
            return answer == answers_.end() ? AttemptResult::Acknowledged : answer->second;
        };
        TidyAndDeliver(spool, &send);
    }

    std::string Leave(int job, std::time_t written) { return LeaveRecord(drive_, job, L"pending", written); }
};

TEST_F(PendingDeliveryTest, RecordsAreSentOldestFirstAndDeletedWhenAcknowledged) {
    Leave(12, kNow - 10);
    Leave(11, kNow - 20);
    Leave(13, kNow - 5);
    Deliver();
    EXPECT_EQ(sent_, (std::vector<int>{11, 12, 13}));
    EXPECT_TRUE(drive_.Files().empty());
}

TEST_F(PendingDeliveryTest, ARefusedRecordIsPassedOverAndTwoRefusalsInARowEndTheDelivery) {
    for (int job = 11; job <= 16; ++job) Leave(job, kNow - 100 + job);
    answers_ = {{11, AttemptResult::Refused}, {13, AttemptResult::Refused}, {14, AttemptResult::Refused}};
    Deliver();
    EXPECT_EQ(sent_, (std::vector<int>{11, 12, 13, 14}));
    EXPECT_EQ(drive_.Files(), (std::set<std::string>{"11.1.xml", "13.1.xml", "14.1.xml", "15.1.xml", "16.1.xml"}));
}

TEST_F(PendingDeliveryTest, AServerThatCannotBeReachedEndsTheDelivery) {
    for (int job = 11; job <= 13; ++job) Leave(job, kNow - 100 + job);
    answers_ = {{12, AttemptResult::Unreachable}};
    Deliver();
    EXPECT_EQ(sent_, (std::vector<int>{11, 12}));
    EXPECT_EQ(drive_.Files(), (std::set<std::string>{"12.1.xml", "13.1.xml"}));
}

TEST_F(PendingDeliveryTest, ARunSendsAtMostItsShareInCountAndTime) {
    for (int job = 100; job < 100 + SpoolBounds::kMostSent + 5; ++job) Leave(job, kNow - 1000 + job);
    Deliver();
    EXPECT_EQ(sent_.size(), static_cast<std::size_t>(SpoolBounds::kMostSent));
    EXPECT_EQ(drive_.Files().size(), 5u);

    sent_.clear();
    millisecondsPerSend_ = SpoolBounds::kMostMilliseconds / 3;
    Deliver();
    EXPECT_EQ(sent_.size(), 3u);
}

// A clock that jumped forward, or a server that is down for long: a record
// goes for its age only once its delivery was tried and failed.
TEST_F(PendingDeliveryTest, ARecordIsRemovedForItsAgeOnlyAfterItsDeliveryFailed) {
    const std::time_t old = kNow - (SpoolBounds::kMostDays + 10) * kDay;
    Leave(11, old);
    Leave(12, old + 1);
    Leave(13, old + 2);
    Leave(14, kNow - kDay);
    answers_ = {{12, AttemptResult::Refused}, {14, AttemptResult::Unreachable}};
    Deliver();
    EXPECT_EQ(sent_, (std::vector<int>{11, 12, 13, 14}));
    EXPECT_EQ(drive_.Files(), std::set<std::string>{"14.1.xml"});

    answers_ = {{14, AttemptResult::Unreachable}};
    now_ = kNow + (SpoolBounds::kMostDays + 1) * kDay;
    sent_.clear();
    Deliver();
    EXPECT_EQ(sent_, std::vector<int>{14});
    EXPECT_TRUE(drive_.Files().empty());
}

// A record dated after now (a clock that was ahead) counts as written now:
// it does not jump ahead of older records, nor stay for ever.
TEST_F(PendingDeliveryTest, ARecordFromTheFutureCountsAsWrittenNow) {
    Leave(11, kNow + 365 * kDay);
    Leave(12, kNow - 10);
    Deliver();
    EXPECT_EQ(sent_, (std::vector<int>{12, 11}));
}

TEST_F(PendingDeliveryTest, BeyondTheBoundTheOldestJobsGoFirstWithoutBeingSent) {
    fs::create_directories(drive_.Reports());
    // Files of 1,002 other jobs, the oldest three beyond the bound once the
    // running job's own record has its room.
    for (int job = 1000; job < 1000 + SpoolBounds::kMostFiles + 2; ++job) {
        const std::string name = std::to_string(job) + ".1.xml.bad";
        SpoolDrive::Write(drive_.File(name), "x");
        SpoolDrive::Date(drive_.File(name), kNow - 100000 + job);
    }
    ReportSpool spool(TEXT("1"), TEXT("C"));
    TidyAndDeliver(spool, nullptr);
    const std::set<std::string> files = drive_.Files();
    EXPECT_EQ(files.size(), static_cast<std::size_t>(SpoolBounds::kMostFiles - 1));
    EXPECT_EQ(files.count("1000.1.xml.bad") + files.count("1001.1.xml.bad") + files.count("1002.1.xml.bad"), 0u);
}

// What lies in the folder under a record's name but is not one is set
// aside, whatever it is, and the records behind it are delivered.
TEST_F(PendingDeliveryTest, WhatIsNotARecordIsSetAsideWithoutHoldingTheDelivery) {
    fs::create_directories(drive_.Reports());
    ASSERT_EQ(mkfifo(drive_.File("11.1.xml").c_str(), 0600), 0);
    fs::create_directory(drive_.File("12.1.xml"));
    SpoolDrive::Write(drive_.File("13.1.xml"),
                      "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"/etc/passwd\">]>");
    const fs::path outside = drive_.Root() / "outside.xml";
    SpoolDrive::Write(outside, SpoolDrive::Read(drive_.File(Leave(99, kNow - 50))));
    fs::remove(drive_.File("99.1.xml"));
    ASSERT_EQ(link(outside.c_str(), drive_.File("14.1.xml").c_str()), 0);
    fs::create_symlink(outside, drive_.File("15.1.xml"));
    // An unreadable newest record sets aside the older one it supersedes.
    Leave(16, kNow - 40);
    SpoolDrive::Write(drive_.File("16.2.xml"), "cut sho");
    Leave(17, kNow - 30);
    for (const char* name : {"11.1.xml", "12.1.xml", "13.1.xml", "14.1.xml", "15.1.xml", "16.2.xml"})
        SpoolDrive::Date(drive_.File(name), kNow - 60);
    Deliver();
    EXPECT_EQ(sent_, std::vector<int>{17});
    EXPECT_EQ(drive_.Files(), (std::set<std::string>{"11.1.xml.bad", "12.1.xml.bad", "13.1.xml.bad", "14.1.xml.bad",
                                                     "15.1.xml.bad", "16.1.xml.bad", "16.2.xml.bad"}));
    EXPECT_TRUE(fs::exists(outside));
}

TEST_F(PendingDeliveryTest, TheNewestGenerationIsSentAndAJobThatRunsIsLeftAlone) {
    Leave(11, kNow - 30);
    Leave(12, kNow - 20);
    // Job 11's older record that another program held when it was superseded.
    fs::copy_file(drive_.File("11.1.xml"), drive_.File("11.xml"));
    SpoolDrive::Write(drive_.File("11.1.xml"),
                      SpoolDrive::Read(drive_.File("11.xml"))
                          .replace(SpoolDrive::Read(drive_.File("11.xml")).find("<nStatus>-6"), 11, "<nStatus>6"));
    ReportSpool running(TEXT("12"), TEXT("C"));
    ASSERT_TRUE(running.InUse());
    Deliver();
    EXPECT_EQ(sent_, std::vector<int>{11});
    EXPECT_EQ(statuses_, std::vector<int>{6});
    EXPECT_EQ(drive_.Files(), std::set<std::string>{"12.1.xml"});
}

}  // namespace

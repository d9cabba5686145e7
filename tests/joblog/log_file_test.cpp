// The log file on real files: a new log's byte-order mark, appending,
// rotation at its bound, and a log that another program holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "joblog/job_log.h"
#include "joblog/log_file.h"
#include "platform/wide_string.h"
#include "standins/file_holder.h"
#include "standins/test_programs.h"

namespace {

using test_programs::FileHolder;
using test_programs::ReadFile;

const char kMark[] = "\xEF\xBB\xBF";

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(drives_ / "C/ORV/PatchDeploy/Logs"); }

    std::string Log() const { return drives_ / "C/ORV/PatchDeploy/Logs/PatchWorker.log"; }
    std::string Rotated() const { return drives_ / "C/ORV/PatchDeploy/Logs/PatchWorker.lo_"; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(drives_ / "C/ORV/PatchDeploy/Logs"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const WideString folder_ = TEXT("C:\\ORV\\PatchDeploy\\Logs");
    test_programs::TempDrives drives_;
};

TEST_F(LogFileTest, NewLogBeginsWithTheMarkAndLaterJobsAppend) {
    LogFile(folder_).Append("one\r\n");
    LogFile(folder_).Append("two\r\n");
    EXPECT_EQ(ReadFile(Log()), std::string(kMark) + "one\r\ntwo\r\n");
    EXPECT_EQ(Names(), std::vector<std::string>{"PatchWorker.log"});  // nothing left of its making
}

TEST_F(LogFileTest, LogAtItsBoundIsRotatedWhenAJobOpensIt) {
    LogFile(folder_).Append("first\r\n");
    test_programs::WriteFile(Rotated(), "earlier rotation");
    // Below the bound: kept.
    LogFile(folder_, 12).Append("second\r\n");
    EXPECT_EQ(ReadFile(Log()), std::string(kMark) + "first\r\nsecond\r\n");
    // At the bound: it replaces the earlier rotation, and a new log begins.
    LogFile(folder_, 12).Append("third\r\n");
    EXPECT_EQ(ReadFile(Rotated()), std::string(kMark) + "first\r\nsecond\r\n");
    EXPECT_EQ(ReadFile(Log()), std::string(kMark) + "third\r\n");
}

TEST_F(LogFileTest, OpenLogOfAnotherWorkerIsRotatedAndBothKeepWriting) {
    LogFile other(folder_);
    other.Append("other\r\n");
    LogFile(folder_, 1).Append("mine\r\n");
    other.Append("other again\r\n");
    // The other worker's handle follows its file to the rotated name.
    EXPECT_EQ(ReadFile(Rotated()), std::string(kMark) + "other\r\nother again\r\n");
    EXPECT_EQ(ReadFile(Log()), std::string(kMark) + "mine\r\n");
}

TEST_F(LogFileTest, LogHeldWithoutSharingIsPassedOver) {
    LogFile(folder_).Append("before\r\n");
    FileHolder holder("r", "-", Log());
    ASSERT_TRUE(holder.Held()) << holder.Reply();
    LogFile held(folder_, 1);
    EXPECT_FALSE(held.IsOpen());
    held.Append("lost\r\n");
    holder.Release();
    EXPECT_EQ(ReadFile(Log()), std::string(kMark) + "before\r\n");
    EXPECT_FALSE(std::filesystem::exists(Rotated()));
}

TEST_F(LogFileTest, JobLinesAreHeadedAndLeaveTheLastErrorAlone) {
    StartJobLog(folder_, TEXT("Job 12"));
    SetLastError(1234);
    JobLog(LogType::Warning, TEXT("step %s: 0x%X"), TEXT("search"), 0x80240022u);
    EXPECT_EQ(GetLastError(), 1234u);
    StopJobLog();
    JobLog(LogType::Information, TEXT("after the stop"));
    const std::string log = ReadFile(Log());
    EXPECT_EQ(log.rfind(std::string(kMark) + "<![LOG[Job 12: step search: 0x80240022]LOG]!><time=\"", 0), 0u) << log;
    EXPECT_NE(log.find("type=\"2\""), std::string::npos);
    EXPECT_EQ(log.find("after the stop"), std::string::npos);
}

TEST_F(LogFileTest, NoFolderNoLog) {
    StartJobLog(WideString(), TEXT("Job 1"));
    JobLog(LogType::Information, TEXT("nothing"));
    StopJobLog();
    EXPECT_EQ(Names(), std::vector<std::string>{});
}

}  // namespace

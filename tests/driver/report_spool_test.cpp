// The report spool's record on real files of a temporary drive C.
#include "driver/report_spool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

ReportRecord RecordWith(const std::wstring& description) {
    ReportRecord record;
    record.nJobID = 42;
    record.nStatus = -6;
    record.strErrorDescription = description;
    return record;
}

}  // namespace

// A temporary drive C holding the agent's install directory.
class ReportSpoolTest : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(root_);
        fs::create_directories(root_ / "C" / "ORV" / "PatchDeploy");
        setenv("WORKER_DRIVE_ROOT", root_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("WORKER_DRIVE_ROOT");
        fs::remove_all(root_);
    }
    fs::path RecordPath(const char* job) const {
        return root_ / "C" / "ORV" / "PatchDeploy" / "Reports" / (std::string(job) + ".xml");
    }

private:
    const fs::path root_ = fs::temp_directory_path() / "report_spool_test";
};

// A record that another program holds open (on Windows a virus scanner may)
// cannot be rewritten where it lies: it is replaced whole all the same, and
// the job's outcome is kept.
TEST_F(ReportSpoolTest, RecordHeldOpenByAnotherProgramIsStillReplaced) {
    ReportSpool spool(TEXT("42"), TEXT("C"));
    ASSERT_TRUE(spool.InUse());
    spool.Write(RecordWith(std::wstring(300, L'x')));
    // Another program's handle, as the Linux substitute keeps one.
    int other = open(RecordPath("42").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    const bool shared = flock(other, LOCK_SH | LOCK_NB) == 0;
    if (shared) spool.Write(RecordWith(L"Success"));
    close(other);
    ASSERT_TRUE(shared);
    std::optional<ReportRecord> kept = ReadReportRecord(ReadFileBytes(RecordPath("42")));
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->strErrorDescription, std::wstring(L"Success"));
}

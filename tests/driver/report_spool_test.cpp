// The report spool's record on real files of a temporary drive C.
#include "driver/report_spool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// A record that another program holds open (on Windows a virus scanner may)
// cannot be rewritten where it lies: it is replaced whole all the same, and
// the job's outcome is kept.
TEST(ReportSpoolTest, RecordHeldOpenByAnotherProgramIsStillReplaced) {
    const fs::path root = fs::temp_directory_path() / "report_spool_test";
    fs::remove_all(root);
    fs::create_directories(root / "C" / "ORV" / "PatchDeploy");
    setenv("WORKER_DRIVE_ROOT", root.c_str(), 1);
    {
        ReportSpool spool(TEXT("42"), TEXT("C"));
        ASSERT_TRUE(spool.InUse());
        spool.Write(RecordWith(std::wstring(300, L'x')));
        const fs::path record = root / "C" / "ORV" / "PatchDeploy" / "Reports" / "42.xml";
        // Another program's handle, as the Linux substitute keeps one.
        int other = open(record.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(other, 0);
        ASSERT_EQ(flock(other, LOCK_SH | LOCK_NB), 0);
        spool.Write(RecordWith(L"Success"));
        close(other);
        std::optional<ReportRecord> kept = ReadReportRecord(ReadFileBytes(record));
        ASSERT_TRUE(kept.has_value());
        EXPECT_EQ(kept->strErrorDescription, std::wstring(L"Success"));
    }
    unsetenv("WORKER_DRIVE_ROOT");
    fs::remove_all(root);
}

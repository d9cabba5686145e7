// The test seams of the file calls: injected failures and the journal of
// the operations that change the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/file_faults.h"
#include "platform/platform.h"
#include "platform/scoped_resource.h"
#include "standins/test_programs.h"

namespace {

using test_programs::ReadFile;
using test_programs::ScopedVariable;
using test_programs::TempFolder;
using test_programs::Wide;

ScopedHandle Open(const std::string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return ScopedHandle(CreateFileW(Wide(path).c_str(), access, 0, nullptr, disposition, flags, nullptr));
}

bool Write(HANDLE file, const std::string& bytes) {
    DWORD put = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
}

class FileSeamsTest : public ::testing::Test {
protected:
    void TearDown() override { ClearFileFaults(); }

    std::vector<std::string> JournalLines() {
        std::vector<std::string> lines;
        std::istringstream text(ReadFile(journal_));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }

    TempFolder folder_;
    const std::string journal_ = folder_ / "journal";
    const std::string spool_ = folder_ / "Spool Folder";
};

TEST_F(FileSeamsTest, FailuresHitTheChosenCallsOnly) {
    std::filesystem::create_directory(spool_);
    const std::string record = spool_ + "/7.xml", temporary = record + ".tmp";
    FailFileCalls(FileCall::Write, ".TMP", ERROR_DISK_FULL, 1, 1);
    ScopedHandle file = Open(temporary, GENERIC_WRITE, CREATE_NEW);
    ASSERT_TRUE(file);
    EXPECT_TRUE(Write(file.Get(), "first "));
    DWORD put = 99;
    EXPECT_FALSE(::WriteFile(file.Get(), "second", 6, &put, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(put, 0u);
    EXPECT_TRUE(Write(file.Get(), "third"));
    EXPECT_EQ(ReadFile(temporary), "first third");

    FailFileCalls(FileCall::Flush, ".tmp", ERROR_WRITE_PROTECT);
    EXPECT_FALSE(FlushFileBuffers(file.Get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_PROTECT));
    file.Reset();

    // A move matches on either name; the file stays where it was.
    FailFileCalls(FileCall::Move, "7.xml", ERROR_ACCESS_DENIED, 0, 2);
    EXPECT_FALSE(MoveFileExW(Wide(temporary).c_str(), Wide(record).c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    test_programs::WriteFile(spool_ + "/old-7.xml", "");
    EXPECT_FALSE(MoveFileExW(Wide(spool_ + "/old-7.xml").c_str(), Wide(spool_ + "/elsewhere").c_str(), 0));
    EXPECT_TRUE(MoveFileExW(Wide(temporary).c_str(), Wide(record).c_str(), MOVEFILE_REPLACE_EXISTING));

    FailFileCalls(FileCall::Create, "7.xml", ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(Open(record, GENERIC_READ, OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(Open(record + ".new", GENERIC_WRITE, CREATE_NEW));  // another ending
    FailFileCalls(FileCall::Create, "8.xml", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Open(spool_ + "/8.xml", GENERIC_WRITE, CREATE_NEW));
    EXPECT_FALSE(std::filesystem::exists(spool_ + "/8.xml"));

    FailFileCalls(FileCall::Delete, "7.xml", ERROR_LOCK_VIOLATION);
    EXPECT_FALSE(DeleteFileW(Wide(record).c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    EXPECT_TRUE(std::filesystem::exists(record));

    ClearFileFaults();
    EXPECT_TRUE(Open(record, GENERIC_READ, OPEN_EXISTING));
    EXPECT_TRUE(DeleteFileW(Wide(record).c_str()));
}

TEST_F(FileSeamsTest, JournalRecordsEveryChangeInOrder) {
    ScopedVariable journal("WORKER_FILE_OPS_JOURNAL", journal_);
    const std::string record = spool_ + "/7.xml", temporary = record + ".tmp";
    const std::string encodedSpool = folder_.Path() + "/Spool%20Folder";
    ASSERT_TRUE(CreateDirectoryW(Wide(spool_).c_str(), nullptr));
    {
        ScopedHandle file = Open(temporary, GENERIC_WRITE, CREATE_NEW);
        ASSERT_TRUE(file);
        EXPECT_TRUE(Write(file.Get(), "ab"));
        EXPECT_TRUE(Write(file.Get(), "\n%"));
        EXPECT_TRUE(Write(file.Get(), ""));
        EXPECT_TRUE(FlushFileBuffers(file.Get()));
    }
    EXPECT_TRUE(
        MoveFileExW(Wide(temporary).c_str(), Wide(record).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_TRUE(Open(record, GENERIC_WRITE, CREATE_ALWAYS));
    EXPECT_TRUE(Open(record, GENERIC_WRITE, OPEN_ALWAYS));  // no change
    EXPECT_FALSE(Open(record, GENERIC_WRITE, CREATE_NEW));  // failed: not recorded
    {
        ScopedHandle folder = Open(spool_, GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
        EXPECT_TRUE(FlushFileBuffers(folder.Get()));
    }
    EXPECT_TRUE(DeleteFileW(Wide(record).c_str()));
    EXPECT_FALSE(DeleteFileW(Wide(record).c_str()));

    const std::vector<std::string> expected = {
        "mkdir " + encodedSpool,
        "create " + encodedSpool + "/7.xml.tmp",
        "write " + encodedSpool + "/7.xml.tmp 0 6162",
        "write " + encodedSpool + "/7.xml.tmp 2 0a25",
        "flush " + encodedSpool + "/7.xml.tmp",
        "rename " + encodedSpool + "/7.xml.tmp " + encodedSpool + "/7.xml",
        "flushdir " + encodedSpool,
        "truncate " + encodedSpool + "/7.xml 0",
        "flushdir " + encodedSpool,
        "delete " + encodedSpool + "/7.xml",
    };
    EXPECT_EQ(JournalLines(), expected);
}

TEST_F(FileSeamsTest, JournalEncodesTheCharactersThatSplitFields) {
    ScopedVariable journal("WORKER_FILE_OPS_JOURNAL", journal_);
    const std::string name = folder_ / "a%b\nc d\xc3\xa9";
    EXPECT_TRUE(Open(name, GENERIC_WRITE, CREATE_NEW));
    EXPECT_EQ(JournalLines(), std::vector<std::string>{"create " + folder_.Path() + "/a%25b%0Ac%20d\xc3\xa9"});
}

}  // namespace

// Deleting and renaming files that handles have open, as NTFS allows it.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/scoped_resource.h"
#include "standins/file_holder.h"
#include "standins/test_programs.h"

namespace {

using test_programs::FileHolder;
using test_programs::ReadFile;
using test_programs::TempFolder;
using test_programs::Wide;

class FileDeleteRenameTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_programs::WriteFile(record_, "old");
        test_programs::WriteFile(temporary_, "new");
    }

    BOOL Replace(DWORD flags = MOVEFILE_REPLACE_EXISTING) {
        return MoveFileExW(Wide(temporary_).c_str(), Wide(record_).c_str(), flags);
    }
    BOOL Delete(const std::string& path) { return DeleteFileW(Wide(path).c_str()); }
    ScopedHandle CreateNew(const std::string& path) {
        return ScopedHandle(
            CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    static bool Exists(const std::string& path) {
        struct stat info;
        return lstat(path.c_str(), &info) == 0;
    }

    TempFolder folder_;
    const std::string record_ = folder_ / "42.xml";
    const std::string temporary_ = folder_ / "42.xml.tmp";
};

TEST_F(FileDeleteRenameTest, ReplacesAFileThatNoHandleHasOpen) {
    EXPECT_TRUE(Replace(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadFile(record_), "new");
    EXPECT_FALSE(Exists(temporary_));
}

TEST_F(FileDeleteRenameTest, NeverReplacesAFileInUseWhateverItShares) {
    for (const char* share : {"r", "rw", "rwd"}) {
        FileHolder holder("r", share, record_);
        ASSERT_TRUE(holder.Held()) << holder.Reply();
        EXPECT_FALSE(Replace()) << share;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << share;
        EXPECT_EQ(ReadFile(record_), "old");
        EXPECT_EQ(ReadFile(temporary_), "new");
    }
    // A handle of this process counts as well.
    ScopedHandle mine(CreateFileW(Wide(record_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(mine);
    EXPECT_FALSE(Replace());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FileDeleteRenameTest, RenamingOrDeletingNeedsTheHoldersDeleteSharing) {
    {
        FileHolder holder("r", "rw", temporary_);
        ASSERT_TRUE(holder.Held()) << holder.Reply();
        EXPECT_FALSE(Replace());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(Delete(temporary_));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(ReadFile(temporary_), "new");
    }
    FileHolder holder("r", "rwd", temporary_);
    ASSERT_TRUE(holder.Held()) << holder.Reply();
    EXPECT_TRUE(Replace());
    EXPECT_EQ(ReadFile(record_), "new");
}

TEST_F(FileDeleteRenameTest, ADeletedFileInUseKeepsItsNameUntilTheLastHandleCloses) {
    FileHolder holder("r", "rwd", record_);
    ASSERT_TRUE(holder.Held()) << holder.Reply();
    EXPECT_TRUE(Delete(record_));
    EXPECT_TRUE(Exists(record_));
    EXPECT_FALSE(CreateNew(record_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_FALSE(ScopedHandle(CreateFileW(Wide(record_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetFileAttributesW(Wide(record_).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Delete(record_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Replace());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(holder.Release(), 0);
    EXPECT_FALSE(Exists(record_));
    EXPECT_TRUE(CreateNew(record_));
}

TEST_F(FileDeleteRenameTest, APendingDeletionEndsWithAHolderThatDied) {
    FileHolder holder("r", "rwd", record_);
    ASSERT_TRUE(holder.Held()) << holder.Reply();
    EXPECT_TRUE(Delete(record_));
    holder.Kill();
    // Nobody closed the last handle: the next open finishes the deletion.
    EXPECT_TRUE(Exists(record_));
    EXPECT_TRUE(CreateNew(record_));
    EXPECT_EQ(ReadFile(record_), "");
}

TEST_F(FileDeleteRenameTest, AHandleOfThisProcessKeepsADeletedNameToo) {
    ScopedHandle mine(CreateFileW(Wide(record_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(mine);
    EXPECT_TRUE(Delete(record_));
    EXPECT_TRUE(Exists(record_));
    mine.Reset();
    EXPECT_FALSE(Exists(record_));
}

TEST_F(FileDeleteRenameTest, RenameFailuresSayWhy) {
    EXPECT_FALSE(Replace(0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(MoveFileExW(Wide(folder_ / "missing").c_str(), Wide(record_).c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileExW(Wide(temporary_).c_str(), Wide(folder_ / "no/such").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    std::filesystem::create_directory(folder_ / "folder");
    EXPECT_FALSE(MoveFileExW(Wide(temporary_).c_str(), Wide(folder_ / "folder").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Delete(folder_ / "folder"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Delete(folder_ / "no/such"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// Windows keeps a read-only file from any change, an administrator's too.
TEST_F(FileDeleteRenameTest, AReadOnlyFileIsNeitherWrittenReplacedNorDeleted) {
    chmod(record_.c_str(), 0444);
    for (DWORD disposition : {DWORD(OPEN_EXISTING), DWORD(CREATE_ALWAYS)}) {
        EXPECT_FALSE(ScopedHandle(CreateFileW(Wide(record_).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                              FILE_ATTRIBUTE_NORMAL, nullptr)));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_FALSE(Replace());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Delete(record_));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFile(record_), "old");
    // It may still be read, and renamed.
    EXPECT_TRUE(ScopedHandle(CreateFileW(Wide(record_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
    EXPECT_TRUE(MoveFileExW(Wide(record_).c_str(), Wide(folder_ / "kept").c_str(), 0));
}

}  // namespace

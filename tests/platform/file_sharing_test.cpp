// The Windows sharing rules of CreateFileW, between handles of one process
// and across processes.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/scoped_resource.h"
#include "standins/file_holder.h"
#include "standins/hold_file_rights.h"
#include "standins/test_programs.h"

namespace {

using test_programs::FileHolder;
using test_programs::TempFolder;
using test_programs::Wide;

// Opens path with the letters of hold_file; the last error tells why not.
ScopedHandle Open(const std::string& path, const char* access, const char* share) {
    DWORD rights = 0, shared = 0;
    if (!ReadShare(share, shared) || !(std::string(access) == "-" || ReadAccess(access, rights))) {
        ADD_FAILURE() << "bad letters " << access << " " << share;
        return ScopedHandle();
    }
    return ScopedHandle(
        CreateFileW(Wide(path).c_str(), rights, shared, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

struct SharingCase {
    const char* firstAccess;
    const char* firstShare;
    const char* secondAccess;
    const char* secondShare;
    bool allowed;
};

// Each row: a handle is open with the first rights, then another open asks
// for the second ones.
const SharingCase kSharingCases[] = {
    {"r", "r", "r", "r", true},
    {"r", "r", "w", "rw", false},    // the first does not share writing
    {"w", "rw", "r", "r", false},    // the second does not allow the first's writing
    {"rw", "-", "r", "rwd", false},  // the first shares nothing
    {"r", "rw", "d", "rwd", false},  // the first does not share deletion
    {"r", "rwd", "d", "rwd", true},
    {"d", "rwd", "r", "rw", false},  // the second does not allow the first's delete access
    {"rw", "rw", "rw", "rw", true},
    {"-", "-", "rw", "-", true},  // a handle without access takes no part
    {"rw", "-", "-", "-", true},
};

std::string Describe(const SharingCase& row) {
    return std::string(row.firstAccess) + "/" + row.firstShare + " then " + row.secondAccess + "/" + row.secondShare;
}

class FileSharingTest : public ::testing::Test {
protected:
    void SetUp() override { test_programs::WriteFile(file_, "content"); }

    TempFolder folder_;
    const std::string file_ = folder_ / "record.xml";
};

TEST_F(FileSharingTest, HandlesOfOneProcessApplyEachOthersShareModes) {
    for (const SharingCase& row : kSharingCases) {
        ScopedHandle first = Open(file_, row.firstAccess, row.firstShare);
        ASSERT_TRUE(first) << Describe(row);
        ScopedHandle second = Open(file_, row.secondAccess, row.secondShare);
        EXPECT_EQ(static_cast<bool>(second), row.allowed) << Describe(row);
        if (!row.allowed) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << Describe(row);
        }
    }
    // Nothing is left of the rules once the handles are closed.
    EXPECT_TRUE(Open(file_, "rwd", "-"));
}

TEST_F(FileSharingTest, AnotherProcessHandlesApplyTheirShareModes) {
    for (const SharingCase& row : kSharingCases) {
        if (std::string(row.firstAccess) == "-") continue;  // hold_file always asks for access
        FileHolder holder(row.firstAccess, row.firstShare, file_);
        ASSERT_TRUE(holder.Held()) << Describe(row) << ": " << holder.Reply();
        ScopedHandle second = Open(file_, row.secondAccess, row.secondShare);
        EXPECT_EQ(static_cast<bool>(second), row.allowed) << Describe(row);
        second.Reset();
        EXPECT_EQ(holder.Release(), 0);
    }
}

TEST_F(FileSharingTest, AnotherProcessIsRefusedByThisProcessHandles) {
    ScopedHandle mine = Open(file_, "rw", "r");
    ASSERT_TRUE(mine);
    FileHolder refused("w", "rw", file_);
    EXPECT_EQ(refused.Reply(), "error 32");
    FileHolder reader("r", "rw", file_);
    EXPECT_TRUE(reader.Held()) << reader.Reply();
}

TEST_F(FileSharingTest, RulesEndWithTheProcessHoweverItEnds) {
    FileHolder holder("rw", "-", file_);
    ASSERT_TRUE(holder.Held()) << holder.Reply();
    EXPECT_FALSE(Open(file_, "r", "rwd"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    holder.Kill();
    EXPECT_TRUE(Open(file_, "rwd", "-"));
}

// The sharing rules live far above the bytes a lock file's callers lock.
TEST_F(FileSharingTest, ByteLocksAndSharingDoNotMeet) {
    ScopedHandle first = Open(file_, "rw", "rw");
    ScopedHandle second = Open(file_, "rw", "rw");
    ASSERT_TRUE(first && second);
    const DWORD exclusive = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED highest{0xFFFFFFFF, 1};  // the last byte below 2^33
    EXPECT_TRUE(LockFileEx(first.Get(), exclusive, 0, 1, 0, &highest));
    EXPECT_FALSE(LockFileEx(second.Get(), exclusive, 0, 1, 0, &highest));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    EXPECT_TRUE(Open(file_, "r", "rw"));
    EXPECT_TRUE(UnlockFileEx(first.Get(), 0, 1, 0, &highest));
    EXPECT_TRUE(LockFileEx(second.Get(), exclusive, 0, 1, 0, &highest));
}

TEST_F(FileSharingTest, HandleAccessLimitsReadsWritesAndFlushes) {
    char buffer[8];
    DWORD count = 0;
    ScopedHandle reader = Open(file_, "r", "rw");
    ASSERT_TRUE(reader);
    EXPECT_FALSE(::WriteFile(reader.Get(), "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(FlushFileBuffers(reader.Get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ScopedHandle writer = Open(file_, "w", "rw");
    ASSERT_TRUE(writer);
    EXPECT_FALSE(::ReadFile(writer.Get(), buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(::ReadFile(reader.Get(), buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "content");
}

TEST_F(FileSharingTest, CreateAlwaysEmptiesOnlyWhatSharingAllows) {
    auto createAlways = [&] {
        return ScopedHandle(
            CreateFileW(Wide(file_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    {
        FileHolder holder("r", "r", file_);
        ASSERT_TRUE(holder.Held()) << holder.Reply();
        EXPECT_FALSE(createAlways());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(test_programs::ReadFile(file_), "content");
    }
    EXPECT_TRUE(createAlways());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(test_programs::ReadFile(file_), "");
}

TEST_F(FileSharingTest, ShareModeBitsBeyondTheThreeAreRefused) {
    EXPECT_EQ(CreateFileW(Wide(file_).c_str(), GENERIC_READ, 8, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace

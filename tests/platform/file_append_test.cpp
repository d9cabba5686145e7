// Appending with FILE_APPEND_DATA: every write at the end whatever other
// handles write, and the sharing rules of a writer.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/scoped_resource.h"
#include "standins/file_holder.h"
#include "standins/test_programs.h"

namespace {

using test_programs::TempFolder;
using test_programs::Wide;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

ScopedHandle Open(const std::string& path, DWORD access, DWORD share) {
    return ScopedHandle(
        CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool Write(const ScopedHandle& file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

TEST(FileAppendTest, EveryWriteLandsAtTheEnd) {
    TempFolder folder;
    const std::string path = folder / "log";
    test_programs::WriteFile(path, "start;");
    ScopedHandle first = Open(path, FILE_APPEND_DATA, kShareAll);
    ScopedHandle second = Open(path, FILE_APPEND_DATA, kShareAll);
    ScopedHandle plain = Open(path, GENERIC_WRITE, kShareAll);
    ASSERT_TRUE(first && second && plain);
    EXPECT_TRUE(Write(first, "a1;"));
    EXPECT_TRUE(Write(second, "b1;"));
    EXPECT_TRUE(Write(first, "a2;"));
    // A handle with GENERIC_WRITE writes where it stands: at the start.
    EXPECT_TRUE(Write(plain, "X"));
    EXPECT_EQ(test_programs::ReadFile(path), "Xtart;a1;b1;a2;");
    // Appending is writing: no read.
    char byte = 0;
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(first.Get(), &byte, 1, &got, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(FileAppendTest, AppendingCountsAsWritingForSharing) {
    TempFolder folder;
    const std::string path = folder / "log";
    test_programs::WriteFile(path, "");
    {
        ScopedHandle reader = Open(path, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(reader);
        EXPECT_FALSE(Open(path, FILE_APPEND_DATA, kShareAll));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    ScopedHandle appender = Open(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(appender);
    EXPECT_FALSE(Open(path, GENERIC_READ, FILE_SHARE_READ));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Renaming needs delete sharing from every handle, the appending one too.
    EXPECT_FALSE(MoveFileExW(Wide(path).c_str(), Wide(folder / "moved").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    appender.Reset(Open(path, FILE_APPEND_DATA, kShareAll).Detach());
    EXPECT_TRUE(MoveFileExW(Wide(path).c_str(), Wide(folder / "moved").c_str(), 0));
    EXPECT_TRUE(Write(appender, "kept"));
    EXPECT_EQ(test_programs::ReadFile(folder / "moved"), "kept");
}

TEST(FileAppendTest, ReadOnlyFileIsNotAppendedTo) {
    TempFolder folder;
    const std::string path = folder / "log";
    test_programs::WriteFile(path, "");
    chmod(path.c_str(), 0444);
    EXPECT_FALSE(Open(path, FILE_APPEND_DATA, kShareAll));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace

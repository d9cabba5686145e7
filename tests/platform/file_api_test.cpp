#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/local_path.h"
#include "platform/platform.h"
#include "standins/test_programs.h"

namespace {

using test_programs::Narrow;
using test_programs::TempDrives;
using test_programs::WriteFile;

struct Listing {
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD firstError = 0;
    std::vector<std::string> names;
    std::vector<DWORD> attributes;
    DWORD endError = 0;
};

// Runs a whole search the way the worker does.
Listing Search(const char16_t* pattern) {
    Listing listing;
    WIN32_FIND_DATAW data{};
    listing.handle = FindFirstFileW(pattern, &data);
    if (listing.handle == INVALID_HANDLE_VALUE) {
        listing.firstError = GetLastError();
        return listing;
    }
    do {
        listing.names.push_back(Narrow(data.cFileName));
        listing.attributes.push_back(data.dwFileAttributes);
    } while (FindNextFileW(listing.handle, &data));
    listing.endError = GetLastError();
    EXPECT_TRUE(FindClose(listing.handle));
    return listing;
}

class FileApiTest : public ::testing::Test {
protected:
    TempDrives drive_;
};

// The names in the order the folder lists them, as Windows does on file
// systems other than NTFS; sorted here to compare.
std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(FileApiTest, ListsEveryEntryWithItsAttributes) {
    WriteFile(drive_ / "D/ORV/42/b.msu", "12345");
    WriteFile(drive_ / "D/ORV/42/A.txt", "");
    WriteFile(drive_ / "D/ORV/42/c/inner", "");
    Listing listing = Search(u"d:\\ORV\\42\\*");
    EXPECT_EQ(Sorted(listing.names), (std::vector<std::string>{".", "..", "A.txt", "b.msu", "c"}));
    EXPECT_EQ(listing.endError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    for (std::size_t i = 0; i < listing.names.size(); ++i) {
        const bool folder = listing.names[i] == "." || listing.names[i] == ".." || listing.names[i] == "c";
        EXPECT_EQ(listing.attributes[i] & FILE_ATTRIBUTE_DIRECTORY, folder ? FILE_ATTRIBUTE_DIRECTORY : 0u)
            << listing.names[i];
        if (listing.names[i] == "b.msu") {
            EXPECT_EQ(listing.attributes[i], static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
        }
    }

    EXPECT_EQ(Search(u"D:\\ORV\\42\\*.MSU").names, std::vector<std::string>{"b.msu"});
    EXPECT_EQ(Search(u"D:\\ORV\\42\\*.*").names.size(), 5u);
    EXPECT_EQ(Search(u"D:\\ORV\\42\\?.txt").names, std::vector<std::string>{"A.txt"});
}

// A folder is read a buffer at a time as the search goes on: every entry
// comes once, across the reads, whatever the length of its name.
TEST_F(FileApiTest, ListsAFolderLargerThanOneReadOnce) {
    std::vector<std::string> expected = {".", ".."};
    for (int i = 0; i < 3000; ++i) {
        std::string name = std::to_string(i) + std::string(static_cast<std::size_t>(i % 200), 'x') + ".cab";
        WriteFile(drive_ / ("D/ORV/7/" + name), "");
        expected.push_back(name);
    }
    Listing listing = Search(u"D:\\ORV\\7\\*");
    EXPECT_EQ(listing.endError, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(Sorted(listing.names), Sorted(expected));
    EXPECT_EQ(Search(u"D:\\ORV\\7\\2999*").names.size(), 1u);
}

TEST_F(FileApiTest, FolderWithOnlyASubfolder) {
    std::filesystem::create_directories(drive_ / "D/ORV/7/sub");
    EXPECT_EQ(Sorted(Search(u"D:\\ORV\\7\\*").names), (std::vector<std::string>{".", "..", "sub"}));
}

TEST_F(FileApiTest, FailuresSayWhatIsMissing) {
    std::filesystem::create_directories(drive_ / "D/ORV/empty");
    WriteFile(drive_ / "D/ORV/file", "");
    EXPECT_EQ(Search(u"D:\\ORV\\missing\\*").firstError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Search(u"D:\\ORV\\file\\*").firstError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Search(u"D:\\ORV\\empty\\*.msu").firstError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Search(u"").firstError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    if (geteuid() != 0) {  // root reads any folder
        chmod((drive_ / "D/ORV/empty").c_str(), 0);
        EXPECT_EQ(Search(u"D:\\ORV\\empty\\*").firstError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }

    WIN32_FIND_DATAW data;
    EXPECT_FALSE(FindNextFileW(INVALID_HANDLE_VALUE, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST_F(FileApiTest, PathFileExistsForFilesAndFolders) {
    WriteFile(drive_ / "D/ORV/PatchDeploy/wsusscn2.cab", "x");
    EXPECT_TRUE(PathFileExistsW(u"D:\\ORV\\PatchDeploy\\wsusscn2.cab"));
    EXPECT_TRUE(PathFileExistsW(u"d:\\ORV\\PatchDeploy"));
    EXPECT_FALSE(PathFileExistsW(u"D:\\ORV\\PatchDeploy\\other.cab"));
    EXPECT_FALSE(PathFileExistsW(u""));
    EXPECT_FALSE(PathFileExistsW(nullptr));
}

TEST_F(FileApiTest, DrivePathsIgnoreLetterCaseAsNtfsDoes) {
    WriteFile(drive_ / "D/ORV/42/A1.CAB", "x");
    WriteFile(drive_ / "D/\xc3\x89t\xc3\xa9/x", "");  // "Été"
    EXPECT_TRUE(PathFileExistsW(u"d:\\orv\\42\\a1.cab"));
    EXPECT_TRUE(PathFileExistsW(u"D:\\\u00e9T\u00c9\\X"));
    EXPECT_EQ(Search(u"D:\\Orv\\42\\*.cab").names, std::vector<std::string>{"A1.CAB"});
    // The simulated update agent finds the files it is given this way.
    EXPECT_EQ(LocalPathOf(u"D:\\orv\\42\\a1.Cab").string(), drive_ / "D/ORV/42/A1.CAB");
    // A missing component ends the matching: the rest stays as given.
    EXPECT_EQ(LocalPathOf(u"D:\\orv\\43\\a1.Cab").string(), drive_ / "D/ORV/43/a1.Cab");
    EXPECT_FALSE(PathFileExistsW(u"D:\\ORV\\42\\a1.cab\\x"));

    // Where Linux holds names that differ only in case, the exact one wins.
    WriteFile(drive_ / "D/ORV/42/a1.cab", "y");
    EXPECT_EQ(LocalPathOf(u"D:\\ORV\\42\\a1.cab").string(), drive_ / "D/ORV/42/a1.cab");
    EXPECT_EQ(LocalPathOf(u"D:\\ORV\\42\\A1.cab").string(), drive_ / "D/ORV/42/A1.CAB");
}

// Opening, creating, replacing and deleting go to the entry that differs
// only in letter case, never beside it: a second file would leave the old
// one to be read or delivered again.
// A folder too large to read for each name is looked up by the name's
// letter-case variants: the answers are those of reading it.
TEST_F(FileApiTest, ALargeFolderGivesTheSameLetterCaseAnswers) {
    for (int i = 0; i < 3000; ++i) WriteFile(drive_ / ("D/Big/entry" + std::to_string(i) + ".dat").c_str(), "");
    WriteFile(drive_ / "D/Big/Report.XML", "x");
    EXPECT_EQ(LocalPathOf(u"D:\\big\\report.xml").string(), drive_ / "D/Big/Report.XML");
    EXPECT_EQ(LocalPathOf(u"D:\\Big\\new.tmp").string(), drive_ / "D/Big/new.tmp");
    WriteFile(drive_ / "D/Big/REPORT.XML", "y");
    EXPECT_EQ(LocalPathOf(u"D:\\Big\\report.xml").string(), drive_ / "D/Big/REPORT.XML");
    EXPECT_EQ(LocalPathOf(u"D:\\Big\\Report.XML").string(), drive_ / "D/Big/Report.XML");
    HANDLE made =
        CreateFileW(u"D:\\Big\\REPORT.xml", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(made, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(FileApiTest, FileCallsReachAnEntryInAnotherLetterCase) {
    WriteFile(drive_ / "D/ORV/Reports/42.XML", "old");
    const auto folderNames = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(drive_ / "D/ORV/Reports"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    auto open = [](const char16_t* path, DWORD disposition) {
        return CreateFileW(path, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE existing = open(u"d:\\orv\\reports\\42.xml", OPEN_EXISTING);
    EXPECT_NE(existing, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(existing));
    EXPECT_EQ(open(u"D:\\ORV\\Reports\\42.xml", CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    HANDLE replacement = open(u"D:\\ORV\\Reports\\42.xml.TMP", CREATE_ALWAYS);
    ASSERT_NE(replacement, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    EXPECT_TRUE(::WriteFile(replacement, "new", 3, &put, nullptr));
    EXPECT_TRUE(CloseHandle(replacement));
    EXPECT_TRUE(MoveFileExW(u"d:\\ORV\\reports\\42.XML.tmp", u"D:\\ORV\\Reports\\42.xml", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(folderNames(), std::vector<std::string>{"42.XML"});
    EXPECT_EQ(test_programs::ReadFile(drive_ / "D/ORV/Reports/42.XML"), "new");
    EXPECT_TRUE(DeleteFileW(u"D:\\orv\\REPORTS\\42.xml"));
    EXPECT_TRUE(folderNames().empty());
    EXPECT_FALSE(DeleteFileW(u"D:\\ORV\\Reports\\42.xml"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The report spool locks one byte per job in a file every job opens: a lock
// must exclude any other handle, in this process too, and end with its
// handle.
TEST_F(FileApiTest, ByteLocksBelongToTheirHandleAndEndWithIt) {
    const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    auto open = [&] {
        return CreateFileW(u"D:\\jobs.lock", GENERIC_READ | GENERIC_WRITE, shared, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    std::filesystem::create_directories(drive_ / "D");
    HANDLE first = open(), second = open();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    const DWORD exclusive = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED job{0x7FFFFFFF, 0}, otherJob{0x7FFFFFFE, 0};
    EXPECT_TRUE(LockFileEx(first, exclusive, 0, 1, 0, &job));
    EXPECT_FALSE(LockFileEx(second, exclusive, 0, 1, 0, &job));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    EXPECT_TRUE(LockFileEx(second, exclusive, 0, 1, 0, &otherJob));
    EXPECT_TRUE(UnlockFileEx(second, 0, 1, 0, &otherJob));
    EXPECT_TRUE(LockFileEx(first, exclusive, 0, 1, 0, &otherJob));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(LockFileEx(second, exclusive, 0, 1, 0, &job));
    EXPECT_TRUE(LockFileEx(second, exclusive, 0, 1, 0, &otherJob));
    EXPECT_TRUE(CloseHandle(second));
}

}  // namespace

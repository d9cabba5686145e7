// Sessions, user tokens and user environments of the Linux substitute, read
// from a login-records file of the test's own making.
#include <gtest/gtest.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/linux/utf.h"

namespace {

utmpx Record(short type, pid_t pid, const char* line, const char* user, const char* host = "") {
    utmpx record{};
    record.ut_type = type;
    record.ut_pid = pid;
    std::strncpy(record.ut_line, line, sizeof record.ut_line);
    std::strncpy(record.ut_user, user, sizeof record.ut_user);
    std::strncpy(record.ut_host, host, sizeof record.ut_host);
    return record;
}

class SessionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sessions-test-XXXXXX";
        int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = pattern;
        setenv("WORKER_UTMP_FILE", path_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("WORKER_UTMP_FILE");
        std::remove(path_.c_str());
    }
    void WriteRecords(const std::vector<utmpx>& records) {
        FILE* file = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        for (const utmpx& record : records) std::fwrite(&record, sizeof record, 1, file);
        std::fclose(file);
    }

    std::string path_;
};

std::string Narrow(const WCHAR* text) {
    return Utf16ToUtf8(text, WideLengthOf(text));
}

// The variables of an environment block, in block order.
std::vector<std::string> BlockEntries(const void* block) {
    std::vector<std::string> entries;
    for (auto* entry = static_cast<const WCHAR*>(block); *entry; entry += WideLengthOf(entry) + 1)
        entries.push_back(Narrow(entry));
    return entries;
}

bool HasEntry(const std::vector<std::string>& entries, const std::string& prefix) {
    for (const std::string& entry : entries)
        if (entry.rfind(prefix, 0) == 0) return true;
    return false;
}

TEST_F(SessionsTest, SessionsFollowTheRecordsWithTheServicesSessionFirst) {
    WriteRecords({Record(LOGIN_PROCESS, getpid(), "tty1", "LOGIN"), Record(USER_PROCESS, getpid(), "pts/0", "root"),
                  Record(DEAD_PROCESS, 0, "pts/1", ""), Record(USER_PROCESS, 0x7ffffff0, ":0", "root", ":0")});
    PWTS_SESSION_INFOW sessions = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count));
    ASSERT_EQ(count, 4u);
    const char* names[] = {"Services", "pts/0", "pts/1", ":0"};
    const WTS_CONNECTSTATE_CLASS states[] = {WTSDisconnected, WTSActive, WTSDisconnected, WTSDisconnected};
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_EQ(sessions[i].SessionId, i);
        EXPECT_EQ(Narrow(sessions[i].pWinStationName), names[i]);
        EXPECT_EQ(sessions[i].State, states[i]) << "session " << i;
    }
    WTSFreeMemory(sessions);

    setenv("WORKER_UTMP_FILE", (path_ + ".missing").c_str(), 1);
    EXPECT_FALSE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 2, &sessions, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(SessionsTest, TokenQueryNeedsPrivilegeAndAUserOfTheSession) {
    WriteRecords({Record(USER_PROCESS, getpid(), "pts/0", "root", ":3"), Record(DEAD_PROCESS, 0, "pts/1", ""),
                  Record(USER_PROCESS, getpid(), "pts/2", "no-such-user-here")});
    HANDLE token = nullptr;
    if (geteuid() != 0) {
        EXPECT_FALSE(WTSQueryUserToken(1, &token));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
        GTEST_SKIP() << "the rest needs a privileged test";
    }
    struct Case {
        ULONG session;
        DWORD error;
    } failures[] = {{0, ERROR_NO_TOKEN}, {2, ERROR_NO_TOKEN}, {3, ERROR_NO_TOKEN}, {4, ERROR_FILE_NOT_FOUND}};
    for (const Case& c : failures) {
        EXPECT_FALSE(WTSQueryUserToken(c.session, &token)) << "session " << c.session;
        EXPECT_EQ(GetLastError(), c.error) << "session " << c.session;
    }

    ASSERT_TRUE(WTSQueryUserToken(1, &token));
    HANDLE primary = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(token, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &primary));
    EXPECT_TRUE(CloseHandle(token));

    setenv("WORKER_ENVIRONMENT_PROBE", "1", 1);
    LPVOID block = nullptr;
    ASSERT_TRUE(CreateEnvironmentBlock(&block, primary, FALSE));
    std::vector<std::string> own = BlockEntries(block);
    EXPECT_TRUE(DestroyEnvironmentBlock(block));
    for (const char* entry : {"HOME=/root", "USER=root", "LOGNAME=root", "DISPLAY=:3", "PATH=", "SHELL="})
        EXPECT_TRUE(HasEntry(own, entry)) << entry;
    EXPECT_FALSE(HasEntry(own, "WORKER_ENVIRONMENT_PROBE="));

    const char* home = std::getenv("HOME");
    const bool hadHome = home != nullptr;
    const std::string savedHome = hadHome ? home : "";
    setenv("HOME", "/somewhere/else", 1);
    ASSERT_TRUE(CreateEnvironmentBlock(&block, primary, TRUE));
    std::vector<std::string> inherited = BlockEntries(block);
    EXPECT_TRUE(DestroyEnvironmentBlock(block));
    EXPECT_TRUE(HasEntry(inherited, "WORKER_ENVIRONMENT_PROBE=1"));
    EXPECT_TRUE(HasEntry(inherited, "HOME=/root"));
    EXPECT_FALSE(HasEntry(inherited, "HOME=/somewhere"));
    unsetenv("WORKER_ENVIRONMENT_PROBE");
    if (hadHome)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_TRUE(CloseHandle(primary));
}

TEST(TokenCallsTest, RejectWhatIsNotAPrimaryToken) {
    HANDLE copy = nullptr;
    EXPECT_FALSE(DuplicateTokenEx(nullptr, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &copy));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    LPVOID block = nullptr;
    ASSERT_TRUE(CreateEnvironmentBlock(&block, nullptr, FALSE));
    EXPECT_EQ(BlockEntries(block), std::vector<std::string>{"PATH=/usr/local/bin:/usr/bin:/bin"});
    DestroyEnvironmentBlock(block);

    WCHAR commandLine[] = TEXT("true");
    STARTUPINFOW startup = {};
    PROCESS_INFORMATION process = {};
    EXPECT_FALSE(CreateProcessAsUserW(nullptr, nullptr, commandLine, nullptr, nullptr, FALSE,
                                      CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &process));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(LibraryLookupTest, OnlyTheTokenQueryOfWtsapi32IsKnown) {
    HMODULE library = LoadLibraryExW(TEXT("WTSAPI32.DLL"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(library, nullptr);
    EXPECT_NE(GetProcAddress(library, "WTSQueryUserToken"), nullptr);
    EXPECT_EQ(GetProcAddress(library, "WTSQuerySessionInformationW"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(LoadLibraryExW(TEXT("userenv.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // A search that would include the program's or the current folder.
    EXPECT_EQ(LoadLibraryExW(TEXT("wtsapi32.dll"), nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace

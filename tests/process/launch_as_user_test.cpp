// LaunchProcessAsUser in process, with the sessions read from a login-records
// file of the test's own: what the end-to-end reminder tests cannot see (a
// session list that cannot be read, the working folder of the start in the
// worker's own session, and the descriptors a start leaves open).
#include "process/launch_as_user.h"

#include <dirent.h>
#include <unistd.h>
#include <utmpx.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "standins/test_programs.h"
#include "support/console_capture.h"
#include "support/named_pipe.h"

namespace {

using test_programs::ScopedVariable;
using test_programs::Wide;
using test_programs::WriteScript;

const std::string kEntry = "LaunchProcessAsUser:: entry with the path:: ";

// Descriptors open in this process.
int OpenDescriptors() {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (dirent* entry = readdir(folder)) count += entry->d_name[0] != '.';
    closedir(folder);
    return count;
}

class LaunchProcessAsUserTest : public ::testing::Test {
protected:
    // Starts the program and returns the result; the console it printed is
    // kept in console_. A started program's handles are closed at once, so
    // no descriptor may stay behind.
    int Launch(const std::string& commandLine, const WCHAR* workingDirectory = nullptr) {
        ConsoleCapture capture;
        const int before = OpenDescriptors();
        int result = LaunchProcessAsUser(Wide(commandLine).c_str(), workingDirectory);
        EXPECT_EQ(OpenDescriptors(), before) << "a start left a descriptor open";
        console_ = capture.Text();
        return result;
    }

    // The session list: one active session of the given user.
    void LogOn(const char* user) {
        utmpx record{};
        record.ut_type = USER_PROCESS;
        record.ut_pid = getpid();
        std::strncpy(record.ut_line, "pts/9", sizeof record.ut_line);
        std::strncpy(record.ut_user, user, sizeof record.ut_user);
        std::ofstream(records_, std::ios::binary).write(reinterpret_cast<const char*>(&record), sizeof record);
    }

    test_programs::TempDrives drives_;
    std::string records_ = drives_ / "utmp";
    ScopedVariable sessions_{"WORKER_UTMP_FILE", records_};
    NamedPipe report_{drives_ / "report"};
    std::string console_;
};

TEST_F(LaunchProcessAsUserTest, SessionListThatCannotBeReadLeadsToAStartInTheWorkersOwnFolderAndSession) {
    // No records file: session 0, which has no user, so the token query
    // fails (a worker without the service's privilege fails it before).
    const std::string program = WriteScript(drives_ / "where", "pwd > '" + report_.Path() + "'");
    std::filesystem::create_directories(drives_ / "C/Work");
    EXPECT_EQ(Launch(program, u"C:\\Work"), 1);
    EXPECT_EQ(report_.ReadFromWriter(), (drives_ / "C/Work") + "\n");
    EXPECT_EQ(console_, kEntry + program + "\r\n" + "GetCurrentUserToken:: WTSQueryUserToken failed. Error Code :: " +
                            (geteuid() == 0 ? "1008" : "1314") +
                            "\r\n"
                            "LaunchProcessAsUser:: Getting the current user tocken failed\r\n"
                            "LaunchProcessAsUser:: CreateProcess success with out sessionid\r\n");
}

TEST_F(LaunchProcessAsUserTest, StartAsTheSessionUserSucceedsOrFailsWithoutFallback) {
    if (geteuid() != 0) GTEST_SKIP() << "a user's token needs a privileged test";
    LogOn("root");
    const std::string program = WriteScript(drives_ / "who", "id -u > '" + report_.Path() + "'");
    EXPECT_EQ(Launch(program), 1);
    EXPECT_EQ(report_.ReadFromWriter(), "0\n");
    EXPECT_EQ(console_, kEntry + program + "\r\nLaunchProcessAsUser:: CreateProcessAsUser Success\r\n");

    const std::string missing = drives_ / "missing";
    EXPECT_EQ(Launch(missing), -1);
    EXPECT_EQ(console_,
              kEntry + missing + "\r\nLaunchProcessAsUser:: CreateProcessAsUser failed . Error code -- 0, 2\r\n");
}

}  // namespace

// The reminder mode's pause after a tray start, seen through the pause seam.
// The tray program is a real stand-in under a drive of the test's own; with
// no logged-on user the worker starts it in its own session.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/reboot_reminder.h"
#include "platform/linux/utf.h"

namespace {

std::vector<DWORD> g_pauses;

void RecordPause(DWORD milliseconds) {
    g_pauses.push_back(milliseconds);
}

class RebootReminderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/reminder-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        std::filesystem::create_directories(root_ / "D" / "ORV" / "PatchTray");
        std::ofstream(root_ / "utmp").close();
        setenv("WORKER_DRIVE_ROOT", root_.c_str(), 1);
        setenv("WORKER_UTMP_FILE", (root_ / "utmp").c_str(), 1);
        g_pauses.clear();
        previous_ = SetPauseFunction(RecordPause);
        // The console lines go to a file instead of the test's output.
        std::fflush(stdout);
        savedStdout_ = dup(STDOUT_FILENO);
        int console = open((root_ / "console").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(console, STDOUT_FILENO);
        close(console);
    }
    void TearDown() override {
        dup2(savedStdout_, STDOUT_FILENO);
        close(savedStdout_);
        SetPauseFunction(previous_);
        unsetenv("WORKER_DRIVE_ROOT");
        unsetenv("WORKER_UTMP_FILE");
        std::filesystem::remove_all(root_);
    }

    // A program that needs nothing of the drive once started, which may
    // then go away while it still runs.
    void InstallTray() {
        std::filesystem::create_symlink("/bin/true", root_ / "D" / "ORV" / "PatchTray" / "VeltraneORVTray.exe");
    }

    int Run(const char* setting) {
        std::vector<std::u16string> texts;
        for (const char* arg : {"worker", "D", setting, "2", "3", "4", "5", "6", "abc"})
            texts.push_back(Utf8ToUtf16(arg, std::char_traits<char>::length(arg)));
        std::vector<WCHAR*> argv;
        for (auto& text : texts) argv.push_back(text.data());
        return LaunchRebootReminder(argv.data());
    }

    std::filesystem::path root_;
    PauseFunction previous_ = nullptr;
    int savedStdout_ = -1;
};

TEST_F(RebootReminderTest, PausesTenSecondsOnlyAfterTheTrayStarted) {
    EXPECT_EQ(Run("0"), -1);
    EXPECT_EQ(Run("1"), -1) << "no tray program to start";
    EXPECT_TRUE(g_pauses.empty());

    InstallTray();
    EXPECT_EQ(Run("1"), 0);
    EXPECT_EQ(g_pauses, std::vector<DWORD>{10000});
}

}  // namespace

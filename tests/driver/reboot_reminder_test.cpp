// The reminder mode's pause after a tray start, seen through the pause seam.
// The tray program is a real stand-in under a drive of the test's own; with
// no logged-on user the worker starts it in its own session.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/reboot_reminder.h"
#include "platform/test_seams.h"
#include "platform/linux/utf.h"
#include "standins/test_programs.h"
#include "support/console_capture.h"

namespace {

using test_programs::ScopedVariable;

std::vector<DWORD> g_pauses;

void RecordPause(DWORD milliseconds) {
    g_pauses.push_back(milliseconds);
}

class RebootReminderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(drives_ / "D/ORV/PatchTray");
        test_programs::WriteFile(utmp_, "");
        g_pauses.clear();
        seams_->pause = RecordPause;
    }

    // A program that needs nothing of the drive once started, which may
    // then go away while it still runs.
    void InstallTray() {
        std::filesystem::create_symlink("/bin/true", drives_ / "D/ORV/PatchTray/VeltraneORVTray.exe");
    }

    int Run(const char* setting) {
        std::vector<std::u16string> texts;
        for (const char* arg : {"worker", "D", setting, "2", "3", "4", "5", "6", "abc"})
            texts.push_back(Utf8ToUtf16(arg, std::char_traits<char>::length(arg)));
        std::vector<WCHAR*> argv;
        for (auto& text : texts) argv.push_back(text.data());
        return LaunchRebootReminder(argv.data());
    }

    test_programs::TempDrives drives_;
    std::string utmp_ = drives_ / "utmp";
    ScopedVariable sessions_{"WORKER_UTMP_FILE", utmp_};
    ScopedTestSeams seams_;
    ConsoleCapture console_;  // keeps the worker's lines out of the test's output
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

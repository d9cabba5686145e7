#include "process/run_command.h"

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "standins/test_programs.h"
#include "support/child_exit.h"
#include "support/console_capture.h"
#include "support/named_pipe.h"

namespace {

using test_programs::Narrow;
using test_programs::ReadFile;
using test_programs::ScopedVariable;
using test_programs::Wide;
using test_programs::WriteFile;
using test_programs::WriteScript;

// The two output buffers, filled with a mark that shows whether they were
// written. A test without a time limit of its own gives the child a minute, which
// only a child that never ends reaches.
struct Outputs {
    WCHAR exitCodeText[256] = u"untouched";
    WCHAR message[1024] = u"untouched";
};

bool RunLine(const std::string& commandLine, Outputs& out, DWORD timeoutMs = kChildEndLimitMs,
             const WCHAR* successCodeText = u"0x240006", const WCHAR* workingDirectory = nullptr) {
    std::u16string line = Wide(commandLine);
    return RunCommandAndWait(line.data(), timeoutMs, successCodeText, out.exitCodeText, out.message, workingDirectory);
}

class RunCommandAndWaitTest : public ::testing::Test {
protected:
    test_programs::TempDrives folder_;
    ScopedVariable path_{"PATH", test_programs::PathWith(test_programs::StandinsFolder())};
};

TEST_F(RunCommandAndWaitTest, TurnsExitCodesIntoResultAndTexts) {
    struct Case {
        const char* code;
        bool result;
        const char* exitCodeText;
        const char* message;  // "untouched" when none is written
    };
    const Case cases[] = {
        {"0", true, "0x0", "untouched"},
        {"0x240006", true, "0x240006", "untouched"},
        {"5", false, "0x5",
         "The compatibility checks detected issues that require resolution before the upgrade can continue"},
        {"7", false, "0x7", " The installation option (upgrade or data only) was not available."},
        {"1", false, "0x1", "Exit Code-->0x1"},
        {"0x50", false, "0x50", "Exit Code-->0x50"},
        {"3010", false, "0xBC2", "Exit Code-->0xBC2"},
        {"0x80070002", false, "0x80070002", "Exit Code-->0x80070002"},
    };
    for (const Case& c : cases) {
        ScopedVariable code("WUSA_EXIT_CODE", c.code);
        Outputs out;
        EXPECT_EQ(RunLine("wusa.exe x.msu /quiet /norestart", out), c.result) << c.code;
        EXPECT_EQ(Narrow(out.exitCodeText), c.exitCodeText) << c.code;
        EXPECT_EQ(Narrow(out.message), c.message) << c.code;
    }
}

TEST_F(RunCommandAndWaitTest, SuccessTextIsComparedExactly) {
    ScopedVariable code("WUSA_EXIT_CODE", "0xBC2");
    Outputs out;
    EXPECT_TRUE(RunLine("wusa.exe x.msu", out, kChildEndLimitMs, u"0xBC2"));
    EXPECT_EQ(Narrow(out.message), "untouched");
    EXPECT_FALSE(RunLine("wusa.exe x.msu", out, kChildEndLimitMs, u"0xbc2"));
    EXPECT_EQ(Narrow(out.message), "Exit Code-->0xBC2");
}

TEST_F(RunCommandAndWaitTest, RunsTheInstallerThroughTheCommandInterpreter) {
    ScopedVariable code("WUSA_EXIT_CODE", "3011");
    std::string argsFile = folder_ / "wusa-args.txt";
    ScopedVariable args("WUSA_ARGS_FILE", argsFile);
    Outputs out;
    EXPECT_FALSE(RunLine("cmd /c wusa.exe \"D:\\ORV\\42\\x.msu\" /quiet /norestart", out));
    EXPECT_EQ(Narrow(out.exitCodeText), "0xBC3");
    EXPECT_EQ(ReadFile(argsFile), "D:\\ORV\\42\\x.msu\n/quiet\n/norestart\n\n");

    // An installer that is not there: the interpreter's "unknown command".
    EXPECT_FALSE(RunLine("cmd /c no-such-installer.exe /quiet", out));
    EXPECT_EQ(Narrow(out.message), "Exit Code-->0x2331");
}

TEST_F(RunCommandAndWaitTest, TimeLimitLeavesTheChildRunning) {
    // The child cannot end on its own: it waits until the test reads its id
    // from the pipe, which the test does only after the time limit, and then
    // sleeps without end.
    NamedPipe started(folder_ / "started");
    WriteScript(folder_ / "slow", "echo $$ > '" + started.Path() + "'; exec sleep infinity");
    Outputs out;
    EXPECT_FALSE(RunLine(folder_ / "slow", out, 200));
    EXPECT_EQ(Narrow(out.message), "Execution timeout");
    EXPECT_EQ(Narrow(out.exitCodeText), "untouched");
    pid_t pid = std::stoi(started.ReadFromWriter());
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the child must still run";
    kill(pid, SIGKILL);
    ReapWithin(pid);
}

TEST_F(RunCommandAndWaitTest, ProgramThatCannotStartIsReportedWithTheSystemsReason) {
    const std::string notFound = "The installer could not be started: The file could not be found.";
    const std::string denied = "The installer could not be started: Access was denied.";
    WriteFile(folder_ / "not-executable.exe", "#!/bin/sh\nexit 0\n");
    struct Case {
        std::string commandLine;
        std::string reason;
    };
    const Case cases[] = {{"no-such-installer.exe /quiet", notFound},
                          {folder_ / "missing.exe", notFound},
                          {"", notFound},
                          {folder_ / "not-executable.exe", denied}};
    for (const Case& c : cases) {
        Outputs out;
        ConsoleCapture console;
        EXPECT_FALSE(RunLine(c.commandLine, out)) << c.commandLine;
        EXPECT_EQ(Narrow(out.exitCodeText), "untouched") << c.commandLine;
        EXPECT_EQ(Narrow(out.message), c.reason) << c.commandLine;
        EXPECT_EQ(console.Text(), c.reason + "\r\n") << c.commandLine;
    }

    // Without a message buffer the reason is still printed.
    ConsoleCapture console;
    std::u16string line = Wide(folder_ / "missing.exe");
    WCHAR exitCodeText[256] = {};
    EXPECT_FALSE(RunCommandAndWait(line.data(), kChildEndLimitMs, u"0x240006", exitCodeText, nullptr, nullptr));
    EXPECT_EQ(console.Text(), notFound + "\r\n");
}

TEST_F(RunCommandAndWaitTest, ChildEndedBySignalIsAFailure) {
    WriteScript(folder_ / "killed", "kill -KILL $$");
    Outputs out;
    EXPECT_FALSE(RunLine(folder_ / "killed", out));
    EXPECT_EQ(Narrow(out.exitCodeText), "0x89");  // 128 + SIGKILL
    EXPECT_EQ(Narrow(out.message), "Exit Code-->0x89");
}

TEST_F(RunCommandAndWaitTest, RunsInTheGivenFolderAndWithoutMessageBuffer) {
    std::filesystem::create_directories(folder_ / "C/Work");
    std::string out = folder_ / "pwd.txt";
    WriteScript(folder_ / "where", "pwd > '" + out + "'; exit 2");
    std::u16string line = Wide(folder_ / "where");
    WCHAR exitCodeText[256] = {};
    EXPECT_FALSE(RunCommandAndWait(line.data(), kChildEndLimitMs, u"0x240006", exitCodeText, nullptr, u"C:\\Work"));
    EXPECT_EQ(Narrow(exitCodeText), "0x2");
    EXPECT_EQ(ReadFile(out), (folder_ / "C/Work") + "\n");
}

}  // namespace

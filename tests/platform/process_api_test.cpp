#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform/linux/spawn.h"
#include "standins/test_programs.h"
#include "support/child_exit.h"

namespace {

using test_programs::ReadFile;
using test_programs::ScopedVariable;
using test_programs::TempFolder;
using test_programs::Wide;
using test_programs::WriteFile;
using test_programs::WriteScript;

// Starts a command line as the worker does; false with the last error when
// it could not be started.
bool Start(const std::string& commandLine, PROCESS_INFORMATION& info, const WCHAR* directory = nullptr,
           BOOL inherit = FALSE, LPVOID environment = nullptr, DWORD flags = 0) {
    std::u16string line = Wide(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, flags, environment, directory, &startup,
                          &info) != FALSE;
}

// Waits for the child's end and returns its exit code; one that does not end
// within the limit fails the test and is killed.
DWORD RunToEnd(PROCESS_INFORMATION& info) {
    if (WaitForSingleObject(info.hProcess, kChildEndLimitMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the child did not end";
        kill(static_cast<pid_t>(info.dwProcessId), SIGKILL);
        EXPECT_EQ(WaitForSingleObject(info.hProcess, kChildEndLimitMs), static_cast<DWORD>(WAIT_OBJECT_0));
    }
    DWORD code = 0xDEAD;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    return code;
}

// The one-line contents of a file the child wrote.
std::string Line(const std::string& path) {
    std::string text = ReadFile(path);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

bool IsZombieOrGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = content.rfind(')');
    return content.empty() || (close != std::string::npos && content.compare(close + 1, 3, " Z ") == 0);
}

TEST(CreateProcessW, ReportsExitCodesOfEndedChildren) {
    TempFolder folder;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(WriteScript(folder / "three", "exit 3"), info));
    EXPECT_NE(info.dwProcessId, 0u);
    EXPECT_EQ(RunToEnd(info), 3u);

    // A full 32-bit code reported through the exit-code descriptor.
    ASSERT_TRUE(Start(WriteScript(folder / "full", "echo 0x240006 >&$WORKER_EXIT_CODE_FD; exit 6"), info));
    EXPECT_EQ(RunToEnd(info), 0x240006u);

    // Unreadable text there leaves the exit status.
    ASSERT_TRUE(Start(WriteScript(folder / "junk", "echo nonsense >&$WORKER_EXIT_CODE_FD; exit 4"), info));
    EXPECT_EQ(RunToEnd(info), 4u);
}

TEST(CreateProcessW, ChildEndedBySignalGets128PlusSignal) {
    TempFolder folder;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(WriteScript(folder / "term", "echo 0 >&$WORKER_EXIT_CODE_FD; kill -TERM $$; sleep 5"), info));
    EXPECT_EQ(RunToEnd(info), 128u + SIGTERM);

    // A signal the worker ignores is not ignored by the child.
    signal(SIGTERM, SIG_IGN);
    ASSERT_TRUE(Start(folder / "term", info));
    EXPECT_EQ(RunToEnd(info), 128u + SIGTERM);
    signal(SIGTERM, SIG_DFL);
}

TEST(CreateProcessW, ExitCodesSurviveAWorkerStartedWithChildSignalsIgnored) {
    signal(SIGCHLD, SIG_IGN);
    TempFolder folder;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(WriteScript(folder / "five", "exit 5"), info));
    EXPECT_EQ(RunToEnd(info), 5u);
    signal(SIGCHLD, SIG_DFL);
}

TEST(CreateProcessW, ProgramThatCannotBeStartedFailsWithoutHandle) {
    TempFolder folder;
    PROCESS_INFORMATION info{};
    EXPECT_FALSE(Start(folder / "missing", info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Start("no-such-program-anywhere", info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Start("", info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    WriteFile(folder / "plain", "exit 0\n");
    chmod((folder / "plain").c_str(), 0644);
    if (geteuid() != 0) {  // root may run anything with an execute bit only
        EXPECT_FALSE(Start(folder / "plain", info));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_FALSE(Start(folder.Path(), info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    WriteFile(folder / "noscript", "not a program\n");
    chmod((folder / "noscript").c_str(), 0755);
    EXPECT_FALSE(Start(folder / "noscript", info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

    std::u16string missingDirectory = Wide(folder / "no-such-folder");
    EXPECT_FALSE(Start(WriteScript(folder / "ok", "exit 0"), info, missingDirectory.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_EQ(info.hThread, nullptr);
}

TEST(CreateProcessW, WorkerWithoutStandardDescriptorsStillLearnsOfAFailedStart) {
    TempFolder folder;
    WriteFile(folder / "noscript", "not a program\n");
    chmod((folder / "noscript").c_str(), 0755);
    pid_t worker = fork();
    ASSERT_GE(worker, 0);
    if (worker == 0) {  // a worker started with descriptors 0, 1 and 2 closed
        for (int fd = 0; fd <= 2; ++fd) close(fd);
        PROCESS_INFORMATION info{};
        bool refused = !Start(folder / "noscript", info) && GetLastError() == ERROR_BAD_EXE_FORMAT;
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_TRUE(ReapWithin(worker, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(CreateProcessW, ChildOutlivesTheTimeLimitAndItsHandle) {
    TempFolder folder;
    // The child reads a named pipe that this test alone holds open for
    // writing: it runs until the test closes its end, whatever the time.
    std::string fifo = folder / "hold";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int hold = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(hold, 0);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(WriteScript(folder / "held", "exec cat '" + fifo + "' > /dev/null"), info));
    pid_t pid = static_cast<pid_t>(info.dwProcessId);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_FALSE(IsZombieOrGone(pid)) << "closing the handle must not end the child";

    // Once it ends, the next start reaps it: no zombie stays behind.
    close(hold);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildEndLimitMs);
    while (!IsZombieOrGone(pid)) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the child did not end";
        usleep(1000);
    }
    ASSERT_TRUE(Start(WriteScript(folder / "quick", "exit 0"), info));
    RunToEnd(info);
    errno = 0;
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(CreateProcessW, WaitWithLimitReturnsWhenTheChildEnds) {
    TempFolder folder;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(WriteScript(folder / "brief", "exit 9"), info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 9u);
    // Asking again gives the same answer.
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(RunToEnd(info), 9u);
}

TEST(CreateProcessW, FindsBareNamesOnPathWithOrWithoutExe) {
    TempFolder folder;
    WriteScript(folder / "bin/tool", "exit 11");
    WriteScript(folder / "bin/other.exe", "exit 12");
    ScopedVariable path("PATH", test_programs::PathWith(folder / "bin"));
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start("tool", info));
    EXPECT_EQ(RunToEnd(info), 11u);
    ASSERT_TRUE(Start("tool.exe", info));
    EXPECT_EQ(RunToEnd(info), 11u);
    ASSERT_TRUE(Start("other", info));
    EXPECT_EQ(RunToEnd(info), 12u);
}

TEST(CreateProcessW, MapsDrivePathsAndPassesSplitArguments) {
    test_programs::TempDrives folder;
    std::string out = folder / "args.txt";
    WriteScript(folder / "D/Tools/echo args.sh",
                "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out + "'; pwd >> '" + out + "'");
    std::filesystem::create_directories(folder / "D/Work");
    PROCESS_INFORMATION info{};
    // Program and folder named in another letter case, as NTFS allows.
    ASSERT_TRUE(Start("\"d:\\TOOLS\\Echo Args.SH\" one \"two three\" a\\\\\"b\" \"\"", info, u"D:\\work"));
    EXPECT_EQ(RunToEnd(info), 0u);
    EXPECT_EQ(ReadFile(out), "one\ntwo three\na\\b\n\n" + (folder / "D/Work") + "\n");
    // The ".exe" the program file lacks is dropped before its case is matched.
    WriteScript(folder / "D/Tools/Tool", "exit 4");
    ASSERT_TRUE(Start("D:\\tools\\TOOL.EXE", info));
    EXPECT_EQ(RunToEnd(info), 4u);
}

// Where the child's descriptors lead: "0 1 2" as link targets, then "extra"
// when it also has descriptor extraFd.
std::string ChildDescriptors(TempFolder& folder, int extraFd, BOOL inherit, STARTUPINFOW* startup = nullptr) {
    std::string out = folder / "fds.txt";
    std::string script =
        WriteScript(folder / "probe",
                    "links=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); printf '%s\\n' \"$links\" > '" + out +
                        "'; [ -e /proc/$$/fd/" + std::to_string(extraFd) + " ] && echo extra >> '" + out + "'; exit 0");
    std::u16string line = Wide(script);
    STARTUPINFOW plain{};
    plain.cb = sizeof plain;
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr,
                               startup ? startup : &plain, &info));
    EXPECT_EQ(RunToEnd(info), 0u);
    return ReadFile(out);
}

TEST(CreateProcessW, StandardHandlesAreTheNullDeviceUnlessInheritedOrGiven) {
    TempFolder folder;
    // The test's own standard input becomes a file that can be recognised.
    std::string input = folder / "input";
    WriteFile(input, "");
    int savedInput = dup(0);
    int file = open(input.c_str(), O_RDWR);
    ASSERT_GE(file, 3);
    ASSERT_EQ(dup2(file, 0), 0);
    input = std::filesystem::read_symlink("/proc/self/fd/0").string();
    std::string out = std::filesystem::read_symlink("/proc/self/fd/1").string();
    std::string err = std::filesystem::read_symlink("/proc/self/fd/2").string();

    EXPECT_EQ(ChildDescriptors(folder, file, FALSE), "/dev/null\n/dev/null\n/dev/null\n");
    EXPECT_EQ(ChildDescriptors(folder, file, TRUE), input + "\n" + out + "\n" + err + "\nextra\n");
    STARTUPINFOW given{};
    given.cb = sizeof given;
    given.dwFlags = STARTF_USESTDHANDLES;
    given.hStdOutput = GetStdHandle(STD_INPUT_HANDLE);
    given.hStdError = INVALID_HANDLE_VALUE;
    EXPECT_EQ(ChildDescriptors(folder, file, FALSE, &given), "/dev/null\n" + input + "\n/dev/null\n");
    EXPECT_EQ(GetStdHandle(7), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE)));

    dup2(savedInput, 0);
    close(savedInput);
    close(file);
}

TEST(CreateProcessW, UsesTheGivenEnvironmentBlock) {
    TempFolder folder;
    ScopedVariable marker("WORKER_TEST_MARKER", "from-parent");
    std::string out = folder / "env.txt";
    std::string script = WriteScript(folder / "env", "echo \"$GREETING|${WORKER_TEST_MARKER:-unset}\" > '" + out + "'");
    const char16_t unicodeBlock[] = u"GREETING=h\u00e9llo\0PATH=/usr/bin:/bin\0";
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(script, info, nullptr, FALSE, const_cast<char16_t*>(unicodeBlock), CREATE_UNICODE_ENVIRONMENT));
    EXPECT_EQ(RunToEnd(info), 0u);
    EXPECT_EQ(Line(out), "h\xc3\xa9llo|unset");

    const char narrowBlock[] = "GREETING=plain\0";
    ASSERT_TRUE(Start(script, info, nullptr, FALSE, const_cast<char*>(narrowBlock)));
    EXPECT_EQ(RunToEnd(info), 0u);
    EXPECT_EQ(Line(out), "plain|unset");

    ASSERT_TRUE(Start(script, info));
    EXPECT_EQ(RunToEnd(info), 0u);
    EXPECT_EQ(Line(out), "|from-parent");
}

TEST(CreateProcessW, RunsUnderAnotherIdentityWhenAskedTo) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to change identity";
    TempFolder folder;
    chmod(folder.Path().c_str(), 0777);
    std::string out = folder / "id.txt";
    std::string script = WriteScript(folder / "whoami", "echo \"$(id -u):$(id -g):$(id -G)\" > '" + out + "'");
    std::u16string line = Wide(script);
    SpawnRequest request;
    request.commandLine = line.c_str();
    request.asUser = true;
    request.uid = 65534;
    request.gid = 65534;
    request.groups = {65534, 100};
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(SpawnProcess(request, &info));
    EXPECT_EQ(RunToEnd(info), 0u);
    EXPECT_EQ(Line(out), "65534:65534:65534 100");
}

TEST(KernelHandles, RejectWhatTheyCannotServe) {
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    TempFolder folder;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Start(WriteScript(folder / "q", "exit 0"), info));
    EXPECT_EQ(WaitForSingleObject(info.hThread, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DWORD code;
    EXPECT_FALSE(GetExitCodeProcess(info.hThread, &code));
    EXPECT_EQ(RunToEnd(info), 0u);
}

}  // namespace

// Another process holding a file open with given rights (the hold_file
// stand-in, built beside the test executables), as a virus scanner would:
// for tests of the sharing rules across processes. Every wait has a
// deadline and waits for the event itself (a line, an exit).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/child_exit.h"

extern char** environ;

namespace test_programs {

class FileHolder {
public:
    static constexpr int kDeadlineMs = 10000;

    // Starts hold_file with the access and share letters of
    // standins/hold_file_rights.h and waits for its first line: "held", or
    // "error <n>" when its open failed.
    FileHolder(const std::string& access, const std::string& share, const std::string& path) {
        const std::string program =
            (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "hold_file").string();
        int input[2], output[2];
        if (pipe2(input, O_CLOEXEC) != 0) return;
        if (pipe2(output, O_CLOEXEC) != 0) {
            close(input[0]);
            close(input[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        const char* argv[] = {program.c_str(), access.c_str(), share.c_str(), path.c_str(), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        input_ = input[1];
        output_ = output[0];
        if (pid_ > 0) reply_ = ReadLine();
    }
    ~FileHolder() { Release(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    const std::string& Reply() const { return reply_; }
    bool Held() const { return reply_ == "held"; }

    // Ends its standard input: it closes the file and exits. Returns its
    // exit code (-1 when it did not end in time and was killed).
    int Release() {
        if (input_ >= 0) close(input_);
        input_ = -1;
        return Reap();
    }

    // Ends it at once, without its closing anything.
    void Kill() {
        if (pid_ > 0) kill(pid_, SIGKILL);
        Release();
    }

private:
    std::string ReadLine() {
        std::string line;
        char c;
        pollfd readable{output_, POLLIN, 0};
        while (poll(&readable, 1, kDeadlineMs) == 1 && read(output_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    int Reap() {
        if (output_ >= 0) close(output_);
        output_ = -1;
        if (pid_ <= 0) return -1;
        int status = -1;
        ReapWithin(pid_, &status, kDeadlineMs);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string reply_;
};

}  // namespace test_programs

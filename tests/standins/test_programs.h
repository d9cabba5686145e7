// Real programs for tests of process starts: a private temporary folder,
// small shell scripts written into it, and the stand-ins of this folder
// (cmd, wusa.exe) on PATH.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/utf.h"

namespace test_programs {

inline std::u16string Wide(const std::string& text) {
    return Utf8ToUtf16(text.data(), text.size());
}

inline std::string Narrow(const char16_t* text) {
    return Utf16ToUtf8(text, WideLengthOf(text));
}

// The folder of the stand-in programs (this header's folder).
inline std::string StandinsFolder() {
    return std::filesystem::path(__FILE__).parent_path().string();
}

// A temporary folder removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "worker-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes an executable POSIX shell script with the given body.
inline std::string WriteScript(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

// Sets an environment variable for the life of the object, then restores it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (hadOld_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

// A temporary folder that holds the drives: drive X is its subfolder X.
class TempDrives : public TempFolder {
private:
    ScopedVariable root_{"WORKER_DRIVE_ROOT", Path()};
};

// PATH with the given folder in front of the current one.
inline std::string PathWith(const std::string& folder) {
    const char* path = std::getenv("PATH");
    return folder + ":" + (path ? path : "/usr/bin:/bin");
}

// True while a process with this id exists (a zombie counts).
inline bool ProcessExists(pid_t pid) {
    return kill(pid, 0) == 0;
}

}  // namespace test_programs

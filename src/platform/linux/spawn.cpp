#include "spawn.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "command_line.h"
#include "drive_map.h"
#include "process_object.h"
#include "utf.h"

extern char** environ;

namespace {

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A close-on-exec pipe whose ends lie above descriptor 2: a worker started
// with a standard descriptor closed would otherwise get one there, and the
// child's standard descriptors would replace it.
bool OpenPipe(Descriptor& reader, Descriptor& writer) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    for (int i = 0; i < 2; ++i) {
        if (ends[i] <= 2) {
            int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, 3);
            close(ends[i]);
            ends[i] = moved;
        }
    }
    reader.Reset(ends[0]);
    writer.Reset(ends[1]);
    return reader.Get() >= 0 && writer.Get() >= 0;
}

DWORD Win32ErrorOfExec(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG: return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case ETXTBSY:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case ENOEXEC:
        case ELIBBAD: return ERROR_BAD_EXE_FORMAT;
        case ENOMEM:
        case E2BIG: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_INVALID_FUNCTION;
    }
}

bool EndsWithExe(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ending == ".exe";
}

// The name as given, then without its ".exe" ending or with one added.
std::vector<std::string> NameCandidates(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) return {path};
    if (EndsWithExe(base)) return {path, path.substr(0, path.size() - 4)};
    return {path, path + ".exe"};
}

// 0 when path is a file that may be run, else the Win32 error that running it
// would give.
DWORD CheckProgram(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return Win32ErrorOfExec(errno);
    if (S_ISDIR(info.st_mode)) return ERROR_ACCESS_DENIED;
    if (access(path.c_str(), X_OK) != 0) return ERROR_ACCESS_DENIED;
    return 0;
}

// Finds the program file. Returns the error of the best candidate when none
// may be run: "may not be run" wins over "does not exist".
DWORD ResolveProgram(const std::u16string& name, std::string& path) {
    std::string utf8 = Utf16ToUtf8(name.data(), name.size());
    if (utf8.empty()) return ERROR_FILE_NOT_FOUND;
    bool isPath = utf8.find_first_of("\\/") != std::string::npos || (utf8.size() >= 2 && utf8[1] == ':');
    std::vector<std::string> candidates;
    if (isPath) {
        // Each candidate is mapped on its own, so that the disk's letter case
        // is matched against the whole name.
        std::string prefix;
        if (MapWindowsPath(utf8)[0] != '/') {
            char cwd[PATH_MAX];
            if (!getcwd(cwd, sizeof cwd)) return ERROR_PATH_NOT_FOUND;
            prefix = std::string(cwd) + "/";
        }
        for (const std::string& spelling : NameCandidates(utf8))
            candidates.push_back(prefix + MapWindowsPath(spelling));
    } else {
        const char* pathVariable = std::getenv("PATH");
        std::string list = pathVariable ? pathVariable : "/usr/bin:/bin";
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            std::string folder = list.substr(start, end - start);
            for (std::string& spelling : NameCandidates((folder.empty() ? "./" : folder + "/") + utf8))
                candidates.push_back(std::move(spelling));
            start = end + 1;
        }
    }
    DWORD best = ERROR_FILE_NOT_FOUND;
    for (const std::string& candidate : candidates) {
        DWORD error = CheckProgram(candidate);
        if (error == 0) {
            path = candidate;
            return 0;
        }
        if (error != ERROR_FILE_NOT_FOUND) best = error;
    }
    return best;
}

std::vector<std::string> EnvironmentOf(const WCHAR* block) {
    std::vector<std::string> entries;
    if (!block) {
        for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
        return entries;
    }
    while (*block) {
        std::size_t length = WideLengthOf(block);
        entries.push_back(Utf16ToUtf8(block, length));
        block += length + 1;
    }
    return entries;
}

// Closes every descriptor from 3 up, except those in keep (ascending).
void CloseDescriptorsExcept(const int* keep, int keepCount, int highest) {
    unsigned int from = 3;
    for (int i = 0; i <= keepCount; ++i) {
        unsigned int to = i < keepCount ? static_cast<unsigned int>(keep[i]) : ~0U;
        if (to > from) {
            unsigned int last = to - 1;
            if (syscall(SYS_close_range, from, last, 0) != 0) {
                int limit = highest < static_cast<int>(last) ? highest : static_cast<int>(last);
                for (int fd = static_cast<int>(from); fd <= limit; ++fd) close(fd);
            }
        }
        if (i < keepCount) from = static_cast<unsigned int>(keep[i]) + 1;
    }
}

// In the child: points descriptors 0, 1 and 2 where the request says (-1:
// the null device). Sources are copied above 2 first, so that one standard
// descriptor may stand for another.
bool SetStandardDescriptors(const int (&sources)[3]) {
    int copies[3];
    for (int fd = 0; fd <= 2; ++fd) {
        copies[fd] = sources[fd] >= 0 ? fcntl(sources[fd], F_DUPFD_CLOEXEC, 3) : -1;
        // A source the worker does not have open counts as none.
        if (copies[fd] < 0) copies[fd] = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (copies[fd] < 0) return false;
    }
    for (int fd = 0; fd <= 2; ++fd) {
        if (dup2(copies[fd], fd) < 0) return false;
        close(copies[fd]);
    }
    return true;
}

[[noreturn]] void FailInChild(int reportFd, DWORD error) {
    ssize_t ignored = write(reportFd, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

}  // namespace

BOOL SpawnProcess(const SpawnRequest& request, _PROCESS_INFORMATION* information) {
    if ((!request.commandLine && !request.applicationName) || !information) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ReapAbandonedChildren();

    std::vector<std::u16string> tokens = SplitWindowsCommandLine(request.commandLine);
    std::u16string programName = request.applicationName ? std::u16string(request.applicationName)
                                 : tokens.empty()        ? std::u16string()
                                                         : tokens[0];
    if (tokens.empty()) tokens.push_back(programName);
    std::string programPath;
    if (DWORD error = ResolveProgram(programName, programPath)) {
        SetLastError(error);
        return FALSE;
    }

    // Everything the child needs is made here: after fork only calls that
    // are safe in a copy of a possibly threaded process may run.
    std::vector<std::string> arguments;
    for (const std::u16string& token : tokens) arguments.push_back(Utf16ToUtf8(token.data(), token.size()));
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    Descriptor reportReader, reportWriter;
    if (!OpenPipe(reportReader, reportWriter)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // The exit-code descriptor is ours alone: a program started as a user
    // gets neither it nor its variable, only that user's environment.
    Descriptor exitCodeReader, exitCodeWriter;
    if (!request.asUser) {
        if (!OpenPipe(exitCodeReader, exitCodeWriter)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        fcntl(exitCodeReader.Get(), F_SETFL, O_NONBLOCK);
    }

    std::vector<std::string> environment = EnvironmentOf(request.environment);
    std::string prefix = std::string(kExitCodeDescriptorVariable) + "=";
    environment.erase(std::remove_if(environment.begin(), environment.end(),
                                     [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; }),
                      environment.end());
    if (exitCodeWriter.Get() >= 0) environment.push_back(prefix + std::to_string(exitCodeWriter.Get()));
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::string directory = request.workingDirectory ? MapWindowsPath(request.workingDirectory) : std::string();
    int keep[2] = {reportWriter.Get(), exitCodeWriter.Get()};
    int keepCount = keep[1] >= 0 ? 2 : 1;
    if (keepCount == 2 && keep[0] > keep[1]) std::swap(keep[0], keep[1]);
    long openMax = sysconf(_SC_OPEN_MAX);
    int highest = openMax > 0 && openMax < INT_MAX ? static_cast<int>(openMax) : 65536;

    // Children are reaped by us: a worker started with SIGCHLD ignored (which
    // the kernel would take as "reap them for me") would lose exit codes.
    struct sigaction childAction;
    if (sigaction(SIGCHLD, nullptr, &childAction) == 0 &&
        (childAction.sa_handler == SIG_IGN || (childAction.sa_flags & SA_NOCLDWAIT))) {
        std::memset(&childAction, 0, sizeof childAction);
        childAction.sa_handler = SIG_DFL;
        sigaction(SIGCHLD, &childAction, nullptr);
    }

    // Allocated before the child exists, so that no failure can leave it
    // running without a handle.
    auto process = std::make_unique<ProcessObject>();
    auto thread = std::make_unique<ThreadObject>();

    pid_t pid = fork();
    if (pid < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (pid == 0) {
        int reportFd = reportWriter.Get();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // Signals the worker ignores would stay ignored across exec; the
        // program starts with every signal at its default, as a new process.
        struct sigaction defaultAction;
        std::memset(&defaultAction, 0, sizeof defaultAction);
        defaultAction.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &defaultAction, nullptr);
        if (!SetStandardDescriptors(request.standardDescriptors)) FailInChild(reportFd, ERROR_NOT_ENOUGH_MEMORY);
        if (!request.inheritHandles) CloseDescriptorsExcept(keep, keepCount, highest);
        if (exitCodeWriter.Get() >= 0 && fcntl(exitCodeWriter.Get(), F_SETFD, 0) != 0)
            FailInChild(reportFd, ERROR_NOT_ENOUGH_MEMORY);
        if (request.asUser) {
            if (setgroups(request.groups.size(), request.groups.data()) != 0 || setgid(request.gid) != 0 ||
                setuid(request.uid) != 0) {
                FailInChild(reportFd, ERROR_PRIVILEGE_NOT_HELD);
            }
        }
        if (!directory.empty() && chdir(directory.c_str()) != 0) FailInChild(reportFd, ERROR_DIRECTORY);
        execve(programPath.c_str(), argv.data(), envp.data());
        FailInChild(reportFd, Win32ErrorOfExec(errno));
    }

    reportWriter.Reset();
    exitCodeWriter.Reset();
    DWORD childError = 0;
    ssize_t got;
    do {
        got = read(reportReader.Get(), &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        SetLastError(got == sizeof childError ? childError : ERROR_INVALID_FUNCTION);
        return FALSE;
    }

    int processDescriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (processDescriptor >= 0) fcntl(processDescriptor, F_SETFD, FD_CLOEXEC);
    process->Attach(pid, processDescriptor, exitCodeReader.Release());
    information->hProcess = ToHandle(process.release());
    information->hThread = ToHandle(thread.release());
    information->dwProcessId = static_cast<DWORD>(pid);
    information->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

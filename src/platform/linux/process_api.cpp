#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "process_object.h"
#include "spawn.h"
#include "utf.h"

namespace {

std::mutex g_abandonedLock;
std::vector<pid_t> g_abandoned;

DWORD ExitCodeOfStatus(int status) {
    if (WIFSIGNALED(status)) return 128 + static_cast<DWORD>(WTERMSIG(status));
    return static_cast<DWORD>(WEXITSTATUS(status));
}

// The full exit code the child wrote, when it wrote a readable one.
bool ReadReportedExitCode(int reader, DWORD& code) {
    char text[64];
    ssize_t got;
    do {
        got = read(reader, text, sizeof text - 1);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    text[got] = '\0';
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text, &end, 0);
    if (end == text || errno != 0 || value > 0xFFFFFFFFull) return false;
    while (*end == ' ' || *end == '\n' || *end == '\r' || *end == '\t') ++end;
    if (*end) return false;
    code = static_cast<DWORD>(value);
    return true;
}

long long MonotonicMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// WAIT_OBJECT_0 once the descriptor became readable, WAIT_TIMEOUT when the
// time passed, WAIT_FAILED when it cannot be polled.
DWORD PollUntilReadable(int fd, DWORD milliseconds) {
    const long long deadline = MonotonicMilliseconds() + milliseconds;
    for (;;) {
        int wait = -1;
        if (milliseconds != INFINITE) {
            long long left = deadline - MonotonicMilliseconds();
            if (left < 0) left = 0;
            wait = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
        }
        pollfd entry{fd, POLLIN, 0};
        int ready = poll(&entry, 1, wait);
        if (ready > 0) return WAIT_OBJECT_0;
        if (ready < 0 && errno != EINTR) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (ready == 0 && milliseconds != INFINITE && MonotonicMilliseconds() >= deadline) return WAIT_TIMEOUT;
        // Interrupted, or a chunk of a very long wait ended: wait for the rest.
    }
}

}  // namespace

ProcessObject::~ProcessObject() {
    if (pid_ > 0 && !TryReap()) {
        std::lock_guard<std::mutex> lock(g_abandonedLock);
        g_abandoned.push_back(pid_);
    }
    if (processDescriptor_ >= 0) close(processDescriptor_);
    if (exitCodeReader_ >= 0) close(exitCodeReader_);
    ReapAbandonedChildren();
}

void ProcessObject::Attach(pid_t pid, int processDescriptor, int exitCodeReader) {
    pid_ = pid;
    processDescriptor_ = processDescriptor;
    exitCodeReader_ = exitCodeReader;
}

bool ProcessObject::TryReap(bool block) {
    if (reaped_) return true;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return false;
    reaped_ = true;
    // A child reaped by someone else (ECHILD) has no status left to read.
    exitCode_ = result == pid_ ? ExitCodeOfStatus(status) : ERROR_INVALID_FUNCTION;
    DWORD reported;
    if (result == pid_ && WIFEXITED(status) && exitCodeReader_ >= 0 &&
        ReadReportedExitCode(exitCodeReader_, reported)) {
        exitCode_ = reported;
    }
    return true;
}

void ReapAbandonedChildren() {
    std::lock_guard<std::mutex> lock(g_abandonedLock);
    std::erase_if(g_abandoned, [](pid_t pid) {
        int status;
        pid_t result = waitpid(pid, &status, WNOHANG);
        return result != 0;
    });
}

namespace {

// GetStdHandle's pseudo handles carry the STD_ number, -10 to -12, which
// counts down from descriptor 0.
constexpr intptr_t kStdInputValue = static_cast<int32_t>(STD_INPUT_HANDLE);
constexpr intptr_t kStdErrorValue = static_cast<int32_t>(STD_ERROR_HANDLE);

// The descriptor a handle given with STARTF_USESTDHANDLES stands for, -1 for none.
int DescriptorOfStandardHandle(HANDLE handle) {
    intptr_t value = reinterpret_cast<intptr_t>(handle);
    return value <= kStdInputValue && value >= kStdErrorValue ? static_cast<int>(kStdInputValue - value) : -1;
}

}  // namespace

HANDLE GetStdHandle(DWORD nStdHandle) {
    intptr_t value = static_cast<int32_t>(nStdHandle);
    if (value > kStdInputValue || value < kStdErrorValue) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(value);
}

void ChooseStandardDescriptors(SpawnRequest& request, const STARTUPINFOW* startup, bool inheritHandles) {
    const bool given = startup && (startup->dwFlags & STARTF_USESTDHANDLES);
    if (given) {
        request.standardDescriptors[0] = DescriptorOfStandardHandle(startup->hStdInput);
        request.standardDescriptors[1] = DescriptorOfStandardHandle(startup->hStdOutput);
        request.standardDescriptors[2] = DescriptorOfStandardHandle(startup->hStdError);
        return;
    }
    for (int fd = 0; fd <= 2; ++fd) request.standardDescriptors[fd] = inheritHandles ? fd : -1;
}

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                    LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
    SpawnRequest request;
    request.applicationName = lpApplicationName;
    request.commandLine = lpCommandLine;
    request.workingDirectory = lpCurrentDirectory;
    request.inheritHandles = bInheritHandles != FALSE;
    ChooseStandardDescriptors(request, lpStartupInfo, request.inheritHandles);
    std::u16string wideEnvironment;
    if (lpEnvironment && (dwCreationFlags & CREATE_UNICODE_ENVIRONMENT)) {
        request.environment = static_cast<const WCHAR*>(lpEnvironment);
    } else if (lpEnvironment) {
        // A narrow block: "K=V\0...\0\0" in the ANSI code page, UTF-8 here.
        for (const char* entry = static_cast<const char*>(lpEnvironment); *entry;) {
            std::string text(entry);
            wideEnvironment += Utf8ToUtf16(text.data(), text.size());
            wideEnvironment += u'\0';
            entry += text.size() + 1;
        }
        wideEnvironment += u'\0';
        request.environment = wideEnvironment.c_str();
    }
    return SpawnProcess(request, lpProcessInformation);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    ProcessObject* process = FromHandle<ProcessObject>(hHandle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (process->TryReap()) return WAIT_OBJECT_0;
    if (process->Descriptor() >= 0) {
        DWORD result = PollUntilReadable(process->Descriptor(), dwMilliseconds);
        // The child has ended: reap it now, so its exit code is there to read.
        if (result == WAIT_OBJECT_0) process->TryReap(true);
        return result;
    }
    // A kernel without process descriptors: look again every 10 ms.
    const long long deadline = MonotonicMilliseconds() + dwMilliseconds;
    while (!process->TryReap()) {
        if (dwMilliseconds != INFINITE && MonotonicMilliseconds() >= deadline) return WAIT_TIMEOUT;
        usleep(10000);
    }
    return WAIT_OBJECT_0;
}

BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    ProcessObject* process = FromHandle<ProcessObject>(hProcess);
    if (!process || !lpExitCode) {
        SetLastError(process ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = process->TryReap() ? process->ExitCode() : STILL_ACTIVE;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    if (!hObject || IsPseudoHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<KernelObject*>(hObject);
    return TRUE;
}

void ExitProcess(UINT uExitCode) {
    _exit(static_cast<int>(uExitCode));
}

// How soon RunCommandAndWait returns after its child has ended, against a
// direct posix_spawn and waitpid of the same child. The child stamps the
// monotonic clock just before it exits; each side's latency is the time from
// that stamp to the return of the wait. Prints the medians in microseconds.
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "errors/scan_error_codes.h"
#include "platform/linux/utf.h"
#include "process/run_command.h"

extern char** environ;

namespace {

long long NowNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long long ReadStamp(const std::string& path) {
    std::ifstream in(path);
    long long stamp = 0;
    in >> stamp;
    return stamp;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long long ThroughRunCommandAndWait(const std::string& child, const std::string& stampFile) {
    std::string line = "\"" + child + "\" \"" + stampFile + "\"";
    std::u16string wide = Utf8ToUtf16(line.data(), line.size());
    WCHAR exitCodeText[256] = {};
    WCHAR message[kDescriptionCapacity] = {};
    if (!RunCommandAndWait(reinterpret_cast<WCHAR*>(wide.data()), 60000, TEXT("0x240006"), exitCodeText, message,
                           nullptr))
        return -1;
    long long returned = NowNanoseconds();
    return returned - ReadStamp(stampFile);
}

long long ThroughWaitpid(const std::string& child, const std::string& stampFile) {
    char* argv[] = {const_cast<char*>(child.c_str()), const_cast<char*>(stampFile.c_str()), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, child.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    long long returned = NowNanoseconds();
    return returned - ReadStamp(stampFile);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: exit_detection_bench <exit_child> [runs]\n");
        return 2;
    }
    const std::string child = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 200;
    char folder[] = "/tmp/exit_bench_XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string stampFile = std::string(folder) + "/stamp";

    std::vector<double> routine, direct;
    for (int i = 0; i < runs; ++i) {
        // Alternated, so that both sides see the same machine load.
        long long a = ThroughRunCommandAndWait(child, stampFile);
        long long b = ThroughWaitpid(child, stampFile);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "a child run failed\n");
            return 1;
        }
        routine.push_back(a / 1000.0);
        direct.push_back(b / 1000.0);
    }
    unlink(stampFile.c_str());
    rmdir(folder);
    std::printf("exit_detection runs=%d run_command_us=%.1f waitpid_us=%.1f difference_us=%.1f\n", runs,
                Median(routine), Median(direct), Median(routine) - Median(direct));
    return 0;
}

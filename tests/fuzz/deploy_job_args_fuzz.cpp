// The deployment job's command line: any 10 arguments lead to at most five
// report attempts (none is delivered: the network is cut off below) and to
// the deployment routine seeing arguments 1 to 9 unchanged, with no crash
// and no memory fault.
#include <errno.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "driver/deploy_job.h"
#include "fuzz_arguments.h"
#include "platform/test_seams.h"

namespace {

int g_connects;
int g_lookups;

FuzzCommandLine* g_job;
int g_deployResult;

void NoPause(DWORD) {}

// Stands in for the deployment routine: checks the arguments it is given and
// writes a description from the job's update identifier.
int Deploy(LPCWSTR a1, LPCWSTR a2, LPCWSTR a3, LPCWSTR a4, LPCWSTR a5, LPCWSTR a6, LPCWSTR a7, LPCWSTR a8, LPCWSTR a9,
           WCHAR* description) {
    LPCWSTR given[] = {a1, a2, a3, a4, a5, a6, a7, a8, a9};
    for (int i = 0; i < 9; ++i)
        if (g_job->Entry(i + 1) != reinterpret_cast<const char16_t*>(given[i])) std::abort();
    if (description[0] != 0) std::abort();  // the driver hands over a cleared buffer
    const std::u16string& text = g_job->Entry(1);
    for (std::size_t i = 0; i < text.size() && i < 1023; ++i) description[i] = text[i];
    if (g_deployResult == 3) throw 0;
    return g_deployResult - 1;
}

}  // namespace

// The network is cut off at the C library: host names are not resolved and
// every connection is refused, so each report attempt fails at once.
extern "C" int gethostbyname_r(const char*, struct hostent*, char*, size_t, struct hostent** result, int* error) {
    ++g_lookups;
    *result = nullptr;
    *error = HOST_NOT_FOUND;
    return 0;
}
extern "C" int connect(int, const struct sockaddr*, socklen_t) {
    ++g_connects;
    errno = ECONNREFUSED;
    return -1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceConsole();
    static ScopedTestSeams seams;
    seams->pause = NoPause;
    seams->deploy = Deploy;
    unsetenv("WORKER_COINIT_RESULT");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    g_deployResult = data[0] % 4;  // failed, done, done with restart, exception
    FuzzCommandLine job(data + 1, size - 1, 11);
    g_job = &job;
    g_connects = 0;
    g_lookups = 0;
    if (RunDeployJob(job.Argv()) != 0) std::abort();
    // At most five attempts, each one try at most (an endpoint the runtime
    // cannot parse fails before any try); none at all when the host or the
    // port holds a blank or a control character.
    bool blankOrControl = false;
    for (std::size_t entry : {6, 7})
        for (char16_t c : job.Entry(entry)) blankOrControl = blankOrControl || c <= u' ' || c == u'\x7f';
    if (g_connects + g_lookups > (blankOrControl ? 0 : 5)) std::abort();
    return 0;
}

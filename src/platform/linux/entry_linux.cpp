// Process entry of the Linux build: the command line arrives as UTF-8 bytes
// and is handed to the worker as UTF-16 text, as Windows hands it to wmain.
#include <signal.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "utf.h"

int WorkerMain(int argc, WCHAR** argv);

int main(int argc, char** argv) {
    // A write beyond the file-size limit (RLIMIT_FSIZE) fails like a write to
    // a full disk instead of ending the worker before it has reported.
    // Programs it starts get every signal back at its default.
    signal(SIGXFSZ, SIG_IGN);
    std::vector<std::u16string> texts;
    texts.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) texts.push_back(Utf8ToUtf16(argv[i], std::strlen(argv[i])));
    std::vector<WCHAR*> wide;
    for (auto& t : texts) wide.push_back(t.data());
    wide.push_back(nullptr);
    return WorkerMain(argc, wide.data());
}

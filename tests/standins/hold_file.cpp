// Holds a file open as another program would (a virus scanner), for tests
// of the sharing rules across processes:
//   hold_file <access: r|w|d...> <share: -|r|w|d...> <path>
// Opens the file (it must exist) with CreateFileW and these rights, prints
// "held" and waits until its standard input ends, then closes the file and
// exits 0. When the open fails it prints "error <last error>" and exits 1.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/linux/utf.h"
#include "standins/hold_file_rights.h"

int main(int argc, char** argv) {
    DWORD access = 0, share = 0;
    if (argc != 4 || !ReadAccess(argv[1], access) || !ReadShare(argv[2], share)) {
        std::fputs("usage: hold_file <access r|w|d...> <share -|r|w|d...> <path>\n", stderr);
        return 2;
    }
    const std::u16string path = Utf8ToUtf16(argv[3], std::strlen(argv[3]));
    HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    char ignored[256];
    while (read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
    }
    CloseHandle(file);
    return 0;
}

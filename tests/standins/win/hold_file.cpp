// Stand-in for another program holding a file open under Wine (a virus
// scanner), for tests of the Windows sharing rules:
//   hold_file.exe <access: r|w|d...> <share: -|r|w|d...> <path>
// Opens the file (it must exist) with CreateFileW and these rights, prints
// "held" and waits until its standard input ends, then closes the file and
// exits 0. When the open fails it prints "error <last error>" and exits 1.
#include <windows.h>

#include <cstdio>

#include "../hold_file_rights.h"

int wmain(int argc, wchar_t** argv) {
    DWORD access = 0, share = 0;
    if (argc != 4 || !ReadAccess(argv[1], access) || !ReadShare(argv[2], share)) {
        std::fputs("usage: hold_file <access r|w|d...> <share -|r|w|d...> <path>\n", stderr);
        return 2;
    }
    HANDLE file = CreateFileW(argv[3], access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error %lu\n", GetLastError());
        std::fflush(stdout);
        return 1;
    }
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    char ignored[256];
    DWORD got = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, ignored, sizeof ignored, &got, nullptr) && got > 0) {
    }
    CloseHandle(file);
    return 0;
}

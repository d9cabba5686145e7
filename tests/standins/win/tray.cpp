// Stand-in for the agent's tray program under Wine. It records how it was
// started to the file named by TRAY_RECORD_FILE, else to its own path with
// ".record" appended, as UTF-8 lines: its full command line, each argument
// (argv[0] included), "environment", each NAME=value of its environment, and
// "end". It writes to a temporary name and renames, so that a reader never
// sees half a record.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "utf8.h"

int wmain(int argc, wchar_t** argv) {
    wchar_t target[1024] = {};
    DWORD length = GetEnvironmentVariableW(L"TRAY_RECORD_FILE", target, 1024);
    std::wstring path;
    if (length > 0 && length < 1024) {
        path = target;
    } else {
        wchar_t self[1024] = {};
        DWORD selfLength = GetModuleFileNameW(nullptr, self, 1024);
        if (selfLength == 0 || selfLength >= 1024) return 1;
        path = std::wstring(self) + L".record";
    }
    std::wstring temporary = path + L".tmp";
    FILE* out = _wfopen(temporary.c_str(), L"wb");
    if (!out) return 1;
    fprintf(out, "%s\n", Utf8(GetCommandLineW()).c_str());
    for (int i = 0; i < argc; ++i) fprintf(out, "%s\n", Utf8(argv[i]).c_str());
    fputs("environment\n", out);
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1)
            fprintf(out, "%s\n", Utf8(entry).c_str());
        FreeEnvironmentStringsW(block);
    }
    fputs("end\n", out);
    fclose(out);
    return MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

// Stand-in for the standalone update installer under Wine:
//   wusa.exe <package path> /quiet /norestart
// Its exit code comes from, in this order: the file named by
// WUSA_EXIT_CODE_FILE, the variable WUSA_EXIT_CODE (decimal or 0x
// hexadecimal), else 0x80070002 (file not found) when the package does not
// exist, else 0. With WUSA_ARGS_FILE it appends its arguments there as UTF-8,
// one per line, followed by an empty line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "utf8.h"

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// Decimal or 0x-hexadecimal text, surrounding white space ignored.
DWORD ReadCode(const std::wstring& text) {
    return static_cast<DWORD>(std::wcstoull(text.c_str(), nullptr, 0));
}

std::wstring ReadFileText(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return std::wstring();
    char buffer[64] = {};
    size_t got = fread(buffer, 1, sizeof buffer - 1, file);
    fclose(file);
    return std::wstring(buffer, buffer + got);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring argsFile = Variable(L"WUSA_ARGS_FILE");
    if (!argsFile.empty()) {
        if (FILE* out = _wfopen(argsFile.c_str(), L"ab")) {
            for (int i = 1; i < argc; ++i) fprintf(out, "%s\n", Utf8(argv[i]).c_str());
            fputs("\n", out);
            fclose(out);
        }
    }

    std::wstring codeFile = Variable(L"WUSA_EXIT_CODE_FILE");
    std::wstring codeText = codeFile.empty() ? std::wstring() : ReadFileText(codeFile);
    if (codeText.empty()) codeText = Variable(L"WUSA_EXIT_CODE");
    DWORD code = 0;
    if (!codeText.empty()) {
        code = ReadCode(codeText);
    } else if (argc < 2 || GetFileAttributesW(argv[1]) == INVALID_FILE_ATTRIBUTES) {
        code = 0x80070002;
    }
    ExitProcess(code);
}

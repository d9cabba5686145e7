// Reads a program's version resource as Windows' file properties and
// inventory tools do (GetFileVersionInfoW, VerQueryValueW) and prints it as
// UTF-8 lines "name=value": the fixed part's file and product versions, then
// each string of the U.S. English, Unicode block. Exit status 1 when the file
// has no version resource.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "utf8.h"

namespace {

const wchar_t* const kStrings[] = {L"CompanyName",    L"FileDescription",  L"FileVersion", L"InternalName",
                                   L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"};

void PrintVersion(const char* name, DWORD high, DWORD low) {
    std::printf("%s=%u.%u.%u.%u\n", name, HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    if (size == 0) return 1;
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoW(argv[1], 0, size, info.data())) return 1;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof(*fixed))
        return 1;
    PrintVersion("fixed FileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    PrintVersion("fixed ProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    for (const wchar_t* name : kStrings) {
        wchar_t path[64];
        wsprintfW(path, L"\\StringFileInfo\\040904B0\\%s", name);
        wchar_t* value = nullptr;
        if (VerQueryValueW(info.data(), path, reinterpret_cast<void**>(&value), &length) && value)
            std::printf("%s=%s\n", Utf8(name).c_str(), Utf8(value).c_str());
    }
    return 0;
}

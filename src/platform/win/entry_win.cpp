// Process entry of the Windows build (linked with -municode).
#include "platform/platform.h"

int WorkerMain(int argc, WCHAR** argv);

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD flags);

// Libraries loaded from now on (the delay-loaded ones, those that COM or the
// TLS library load by name) come from the system folder only, never from the
// program's folder or the current folder, which a user may be able to
// write. The call is looked up in kernel32, which every process has loaded,
// so that a Windows 7 without it still starts the worker; there at least the
// current folder leaves the search.
void SearchLibrariesInSystemFolderOnly() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    // void (*)() stands between unrelated function types without a warning.
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(
                                   GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SearchLibrariesInSystemFolderOnly();
    return WorkerMain(argc, argv);
}

// GetScanErrorCodes: any code gives a non-empty, terminated description of
// at most 1023 characters, written inside the caller's 1024-character
// buffer (the sanitizer catches any write beyond it), allocating nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "errors/scan_error_codes.h"
#include "fuzz_arguments.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceConsole();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    DWORD code;
    std::memcpy(&code, data, sizeof code);
    // A heap buffer of exactly 1024 characters, so that a write past its end
    // is a finding; filled with a non-zero pattern to catch a missing
    // terminator.
    auto description = std::make_unique<WCHAR[]>(1024);
    description[0] = 0;
    for (int i = 1; i < 1024; ++i) description[i] = 0x2A;
    GetScanErrorCodes(code, description.get());
    if (!TerminatedWithin(description.get(), 1024)) std::abort();
    if (description[0] == 0) std::abort();
    return 0;
}

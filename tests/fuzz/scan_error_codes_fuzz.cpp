// GetScanErrorCodes: any code gives a non-empty, terminated description of
// at most kDescriptionCapacity - 1 characters, written inside the caller's
// description buffer (the sanitizer catches any write beyond it), allocating nothing.
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
    // A heap buffer of exactly kDescriptionCapacity characters, so that a write past its end
    // is a finding; filled with a non-zero pattern to catch a missing
    // terminator.
    auto description = std::make_unique<WCHAR[]>(kDescriptionCapacity);
    description[0] = 0;
    for (std::size_t i = 1; i < kDescriptionCapacity; ++i) description[i] = 0x2A;
    GetScanErrorCodes(code, description.get());
    if (!TerminatedWithin(description.get(), kDescriptionCapacity)) std::abort();
    if (description[0] == 0) std::abort();
    return 0;
}

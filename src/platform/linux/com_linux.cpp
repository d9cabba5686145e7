#include <cstdlib>

#include "../platform.h"

HRESULT CoInitializeEx(void*, DWORD) {
    if (const char* forced = std::getenv("WORKER_COINIT_RESULT")) {
        return static_cast<HRESULT>(std::strtoul(forced, nullptr, 0));
    }
    return S_OK;
}

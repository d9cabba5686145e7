#include "platform/platform.h"

namespace {

const WCHAR kSystemFolder[] = TEXT("C:\\Windows\\System32");

}  // namespace

UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    constexpr UINT length = sizeof kSystemFolder / sizeof kSystemFolder[0] - 1;
    if (!lpBuffer || uSize <= length) return length + 1;
    for (UINT i = 0; i <= length; ++i) lpBuffer[i] = kSystemFolder[i];
    return length;
}

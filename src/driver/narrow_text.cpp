#include "driver/narrow_text.h"

NarrowText ToNarrow(const WCHAR* text) {
    if (!text) return nullptr;
    int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return nullptr;
    NarrowText narrow(new char[static_cast<std::size_t>(size)]);
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, narrow.get(), size, nullptr, nullptr) != size) return nullptr;
    return narrow;
}

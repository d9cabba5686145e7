// Handles of the Linux substitute. Every HANDLE that it hands out (a
// process, a token, a directory search) points to a KernelObject, so that
// CloseHandle can end any of them.
#pragma once

#include <cstdint>

#include "win_types.h"

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

inline HANDLE ToHandle(KernelObject* object) {
    return static_cast<HANDLE>(object);
}

// The small negative values that Windows gives pseudo handles (-1 for the
// current process, -10 to -12 for the standard handles) name no object here.
inline bool IsPseudoHandle(HANDLE handle) {
    intptr_t value = reinterpret_cast<intptr_t>(handle);
    return value < 0 && value >= -12;
}

template <typename T>
T* FromHandle(HANDLE handle) {
    if (IsPseudoHandle(handle)) return nullptr;
    return dynamic_cast<T*>(static_cast<KernelObject*>(handle));
}

// Handles of the Linux substitute. Every HANDLE that it hands out (a
// process, a token, a directory search) points to a KernelObject, so that
// CloseHandle can end any of them.
#pragma once

#include "win_types.h"

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

inline HANDLE ToHandle(KernelObject* object) {
    return static_cast<HANDLE>(object);
}

template <typename T>
T* FromHandle(HANDLE handle) {
    return dynamic_cast<T*>(static_cast<KernelObject*>(handle));
}

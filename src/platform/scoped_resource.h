// Ownership of platform resources (handles, tokens, directory searches,
// environment blocks, session lists, libraries): the owner releases its
// resource on every way out of a routine, and does so without disturbing the
// last-error code that the routine is about to report.
#pragma once

#include "platform/platform.h"

// Which values hold a resource. Most calls hand out null for "none".
struct NonNullResource {
    template <typename T>
    static bool IsValid(T value) {
        return value != T();
    }
};

// Handles: the calls that open files and directory searches hand out
// INVALID_HANDLE_VALUE for "none", most others null; neither is released.
struct ValidHandle {
    static bool IsValid(HANDLE value) { return value != nullptr && value != INVALID_HANDLE_VALUE; }
};

template <typename T, auto Release, typename Validity = NonNullResource>
class ScopedResource {
public:
    ScopedResource() = default;
    explicit ScopedResource(T value) : value_(value) {}
    ~ScopedResource() { Reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    // A move hands the resource over and leaves the source empty.
    ScopedResource(ScopedResource&& other) noexcept : value_(other.Detach()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }

    T Get() const { return value_; }
    explicit operator bool() const { return Validity::IsValid(value_); }

    // For the out-argument of the call that creates the resource; never a
    // way to set it (Reset(value) does that).
    T* Receive() {
        Reset();
        return &value_;
    }

    // Hands the resource to the caller, who then releases it.
    T Detach() {
        T value = value_;
        value_ = T();
        return value;
    }

    // Releases what it holds and takes value instead.
    void Reset(T value = T()) {
        if (Validity::IsValid(value_)) {
            DWORD lastError = GetLastError();
            Release(value_);
            SetLastError(lastError);
        }
        value_ = value;
    }

private:
    T value_ = T();
};

using ScopedHandle = ScopedResource<HANDLE, CloseHandle, ValidHandle>;
using ScopedFindHandle = ScopedResource<HANDLE, FindClose, ValidHandle>;

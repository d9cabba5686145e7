// Ownership of platform resources (handles, tokens, environment blocks,
// session lists, libraries): the owner releases its resource on every way
// out of a routine, and does so without disturbing the last-error code that
// the routine is about to report.
#pragma once

#include "platform/platform.h"

template <typename T, auto Release>
class ScopedResource {
public:
    ScopedResource() = default;
    explicit ScopedResource(T value) : value_(value) {}
    ~ScopedResource() { Reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;

    T Get() const { return value_; }
    explicit operator bool() const { return value_ != T(); }

    // For the out-argument of the call that creates the resource.
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

    void Reset() {
        if (value_ != T()) {
            DWORD lastError = GetLastError();
            Release(value_);
            SetLastError(lastError);
            value_ = T();
        }
    }

private:
    T value_ = T();
};

using ScopedHandle = ScopedResource<HANDLE, CloseHandle>;

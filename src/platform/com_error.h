// The one exception type of the COM helpers: a failed string or variant
// operation, carrying its result code (0x8007000E for exhausted memory).
#pragma once

#include <exception>

#include "platform/platform.h"

class ComError : public std::exception {
public:
    explicit ComError(HRESULT code) : code_(code) {}
    HRESULT code() const { return code_; }
    const char* what() const noexcept override { return "COM operation failed"; }

private:
    HRESULT code_;
};

// Owned OLE automation values: a BSTR freed once, a VARIANT cleared once.
// Failures throw ComError.
#pragma once

#include "platform/com_error.h"
#include "platform/platform.h"

class ScopedBstr {
public:
    ScopedBstr() = default;
    // Copies the text; throws ComError(E_OUTOFMEMORY) when it cannot.
    explicit ScopedBstr(LPCWSTR text) : value_(SysAllocString(text)) {
        if (!value_ && text) throw ComError(E_OUTOFMEMORY);
    }
    ~ScopedBstr() { SysFreeString(value_); }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;

    BSTR Get() const { return value_; }
    operator BSTR() const { return value_; }
    // Frees the current text and hands out the slot for a call that returns
    // a new BSTR (get_Title(bstr.Receive())).
    BSTR* Receive() {
        SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }

private:
    BSTR value_ = nullptr;
};

class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    VARIANT* Get() { return &value_; }
    VARIANT* operator->() { return &value_; }
    // Converts in place; throws ComError with the conversion's result when it
    // fails.
    void ChangeType(VARTYPE type, USHORT flags = 0) {
        HRESULT hr = VariantChangeType(&value_, &value_, flags, type);
        if (FAILED(hr)) throw ComError(hr);
    }

private:
    VARIANT value_;
};

// BSTR and VARIANT calls of the Linux substitute.
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "utf.h"

namespace {

// The 32-bit byte count sits right before the text.
constexpr std::size_t kPrefix = sizeof(uint32_t);

uint32_t* PrefixOf(BSTR text) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(text) - kPrefix);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    // The byte count must fit its 32 bits, as on Windows.
    if (length > (UINT_MAX - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR)) return nullptr;
    std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    char* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    *reinterpret_cast<uint32_t*>(block) = static_cast<uint32_t>(bytes);
    BSTR result = reinterpret_cast<BSTR>(block + kPrefix);
    if (text) {
        std::memcpy(result, text, bytes);
    } else {
        std::memset(result, 0, bytes);
    }
    result[length] = 0;
    return result;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    std::size_t length = WideLengthOf(text);
    if (length > UINT_MAX) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR text) {
    if (text) std::free(PrefixOf(text));
}

UINT SysStringLen(BSTR text) {
    return text ? *PrefixOf(text) / sizeof(OLECHAR) : 0;
}

void VariantInit(VARIANTARG* value) {
    std::memset(value, 0, sizeof(*value));
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* value) {
    if (!value) return E_INVALIDARG;
    switch (value->vt) {
        case VT_BSTR: SysFreeString(value->bstrVal); break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (value->punkVal) value->punkVal->Release();
            break;
        default: break;
    }
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
    if (!destination || !source) return E_INVALIDARG;
    if (destination == source) return S_OK;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal) {
        source->punkVal->AddRef();
    }
    VariantClear(destination);
    *destination = copy;
    return S_OK;
}

namespace {

bool IsInteger(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_INT:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_UINT:
        case VT_BOOL:
        case VT_EMPTY: return true;
        default: return false;
    }
}

// The value of an integer-like variant, widened. VT_UI8 beyond the signed
// range is reported through `tooLarge`.
long long IntegerOf(const VARIANT& value, bool& tooLarge) {
    tooLarge = false;
    switch (value.vt) {
        case VT_I1: return value.cVal;
        case VT_I2: return value.iVal;
        case VT_I4: return value.lVal;
        case VT_I8: return value.llVal;
        case VT_INT: return value.intVal;
        case VT_UI1: return value.bVal;
        case VT_UI2: return value.uiVal;
        case VT_UI4: return value.ulVal;
        case VT_UINT: return value.uintVal;
        case VT_UI8:
            if (value.ullVal > static_cast<ULONGLONG>(LLONG_MAX)) tooLarge = true;
            return static_cast<long long>(value.ullVal);
        case VT_BOOL: return value.boolVal;
        default: return 0;  // VT_EMPTY
    }
}

// Reads decimal text as Windows does for the invariant locale: optional
// blanks, an optional sign, digits, optional blanks. Nothing else.
HRESULT ParseDecimal(BSTR text, long long& result) {
    std::string narrow = text ? Utf16ToUtf8(text, SysStringLen(text)) : std::string();
    std::size_t i = 0;
    while (i < narrow.size() && narrow[i] == ' ') ++i;
    bool negative = false;
    if (i < narrow.size() && (narrow[i] == '-' || narrow[i] == '+')) negative = narrow[i++] == '-';
    std::size_t digitsStart = i;
    unsigned long long magnitude = 0;
    for (; i < narrow.size() && narrow[i] >= '0' && narrow[i] <= '9'; ++i) {
        if (magnitude > (ULLONG_MAX - 9) / 10) return DISP_E_OVERFLOW;
        magnitude = magnitude * 10 + static_cast<unsigned>(narrow[i] - '0');
    }
    if (i == digitsStart) return DISP_E_TYPEMISMATCH;
    while (i < narrow.size() && narrow[i] == ' ') ++i;
    if (i != narrow.size()) return DISP_E_TYPEMISMATCH;
    if (negative ? magnitude > static_cast<unsigned long long>(LLONG_MAX) + 1 : magnitude > LLONG_MAX) {
        return DISP_E_OVERFLOW;
    }
    result = negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
    return S_OK;
}

HRESULT StoreInteger(long long number, VARTYPE type, VARIANT& out) {
    auto fits = [number](long long low, long long high) { return number >= low && number <= high; };
    switch (type) {
        case VT_I1:
            if (!fits(SCHAR_MIN, SCHAR_MAX)) return DISP_E_OVERFLOW;
            out.cVal = static_cast<CHAR>(number);
            break;
        case VT_I2:
            if (!fits(SHRT_MIN, SHRT_MAX)) return DISP_E_OVERFLOW;
            out.iVal = static_cast<SHORT>(number);
            break;
        case VT_I4:
            if (!fits(INT32_MIN, INT32_MAX)) return DISP_E_OVERFLOW;
            out.lVal = static_cast<LONG>(number);
            break;
        case VT_INT:
            if (!fits(INT32_MIN, INT32_MAX)) return DISP_E_OVERFLOW;
            out.intVal = static_cast<INT>(number);
            break;
        case VT_I8: out.llVal = number; break;
        case VT_UI1:
            if (!fits(0, UCHAR_MAX)) return DISP_E_OVERFLOW;
            out.bVal = static_cast<BYTE>(number);
            break;
        case VT_UI2:
            if (!fits(0, USHRT_MAX)) return DISP_E_OVERFLOW;
            out.uiVal = static_cast<USHORT>(number);
            break;
        case VT_UI4:
            if (!fits(0, UINT32_MAX)) return DISP_E_OVERFLOW;
            out.ulVal = static_cast<ULONG>(number);
            break;
        case VT_UINT:
            if (!fits(0, UINT32_MAX)) return DISP_E_OVERFLOW;
            out.uintVal = static_cast<UINT>(number);
            break;
        case VT_UI8:
            if (number < 0) return DISP_E_OVERFLOW;
            out.ullVal = static_cast<ULONGLONG>(number);
            break;
        case VT_BOOL: out.boolVal = number ? VARIANT_TRUE : VARIANT_FALSE; break;
        default: return DISP_E_TYPEMISMATCH;
    }
    out.vt = type;
    return S_OK;
}

HRESULT ToText(const VARIANT& source, USHORT flags, VARIANT& out) {
    std::string text;
    if (source.vt == VT_BOOL && (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))) {
        text = source.boolVal ? "True" : "False";
    } else if (source.vt == VT_UI8) {
        text = std::to_string(source.ullVal);
    } else if (source.vt != VT_EMPTY) {
        bool tooLarge = false;
        text = std::to_string(IntegerOf(source, tooLarge));
    }
    std::u16string wide = Utf8ToUtf16(text.data(), text.size());
    BSTR result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
    if (!result) return E_OUTOFMEMORY;
    out.vt = VT_BSTR;
    out.bstrVal = result;
    return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* destination, const VARIANTARG* source, USHORT flags, VARTYPE type) {
    if (!destination || !source) return E_INVALIDARG;
    if (source->vt == type) return VariantCopy(destination, source);
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = DISP_E_TYPEMISMATCH;
    if (type == VT_BSTR) {
        hr = IsInteger(source->vt) ? ToText(*source, flags, converted) : DISP_E_TYPEMISMATCH;
    } else if (IsInteger(type) && type != VT_EMPTY) {
        long long number = 0;
        if (source->vt == VT_BSTR) {
            hr = ParseDecimal(source->bstrVal, number);
            if (hr == DISP_E_TYPEMISMATCH && type == VT_BOOL && source->bstrVal) {
                // Windows also reads the English names of the two values.
                std::string narrow = Utf16ToUtf8(source->bstrVal, SysStringLen(source->bstrVal));
                if (narrow == "True" || narrow == "true") {
                    number = 1;
                    hr = S_OK;
                }
                if (narrow == "False" || narrow == "false") {
                    number = 0;
                    hr = S_OK;
                }
            }
        } else if (IsInteger(source->vt)) {
            bool tooLarge = false;
            number = IntegerOf(*source, tooLarge);
            hr = tooLarge ? DISP_E_OVERFLOW : S_OK;
        }
        if (SUCCEEDED(hr)) hr = StoreInteger(number, type, converted);
    } else if (type == VT_EMPTY) {
        hr = S_OK;
    } else if (type != VT_UNKNOWN && type != VT_DISPATCH && type > VT_UINT) {
        hr = DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) return hr;
    VariantClear(destination);
    *destination = converted;
    return S_OK;
}

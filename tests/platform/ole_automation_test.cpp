// BSTR and VARIANT calls of the Linux substitute and the owning helpers.
#include <gtest/gtest.h>

#include <string>

#include "platform/scoped_com.h"

namespace {

std::u16string TextOf(BSTR text) {
    return std::u16string(text, SysStringLen(text));
}

TEST(Bstr, KeepsLengthPrefixEmbeddedZerosAndTerminator) {
    const WCHAR source[] = {u'a', 0, u'b'};
    BSTR text = SysAllocStringLen(source, 3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(text)[-1], 6u);  // byte count before the text
    EXPECT_EQ(text[3], 0);
    SysFreeString(text);

    BSTR copy = SysAllocString(TEXT("patch"));
    EXPECT_EQ(TextOf(copy), u"patch");
    SysFreeString(copy);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);

    // A length whose byte count does not fit the prefix fails.
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

TEST(Bstr, ScopedBstrReceivesAndFreesReplacedText) {
    ScopedBstr text(TEXT("first"));
    EXPECT_EQ(TextOf(text), u"first");
    // A call that hands out a new text, as the update agent's getters do.
    const auto getText = [](BSTR* out) { *out = SysAllocString(TEXT("second")); };
    getText(text.Receive());  // the first one is freed
    EXPECT_EQ(TextOf(text.Get()), u"second");
    ScopedBstr empty;
    EXPECT_EQ(empty.Get(), nullptr);
}

// Converts and returns the text, or the failure code as text.
std::u16string ToText(VARTYPE type, long long value, USHORT flags = 0) {
    ScopedVariant variant;
    variant->vt = type;
    if (type == VT_I2) variant->iVal = static_cast<SHORT>(value);
    if (type == VT_I4) variant->lVal = static_cast<LONG>(value);
    if (type == VT_BOOL) variant->boolVal = static_cast<VARIANT_BOOL>(value);
    HRESULT hr = VariantChangeType(variant.Get(), variant.Get(), flags, VT_BSTR);
    if (FAILED(hr)) return u"failed";
    EXPECT_EQ(variant->vt, VT_BSTR);
    return TextOf(variant->bstrVal);
}

TEST(Variant, NumbersAndFlagsBecomeDecimalTextAsOnWindows) {
    EXPECT_EQ(ToText(VT_I2, VARIANT_TRUE), u"-1");
    EXPECT_EQ(ToText(VT_I2, VARIANT_FALSE), u"0");
    EXPECT_EQ(ToText(VT_BOOL, VARIANT_TRUE), u"-1");
    EXPECT_EQ(ToText(VT_BOOL, VARIANT_FALSE), u"0");
    EXPECT_EQ(ToText(VT_BOOL, VARIANT_TRUE, VARIANT_ALPHABOOL), u"True");
    EXPECT_EQ(ToText(VT_I4, -2147483647LL - 1), u"-2147483648");
    EXPECT_EQ(ToText(VT_I4, 3010), u"3010");
}

TEST(Variant, TextBecomesNumbersOrAReasonedFailure) {
    auto convert = [](const char16_t* text, VARTYPE type, VARIANT& out) {
        VARIANT source;
        VariantInit(&source);
        source.vt = VT_BSTR;
        source.bstrVal = SysAllocString(text);
        VariantInit(&out);
        HRESULT hr = VariantChangeType(&out, &source, 0, type);
        VariantClear(&source);
        return hr;
    };
    VARIANT out;
    EXPECT_EQ(convert(u" -1 ", VT_I2, out), S_OK);
    EXPECT_EQ(out.iVal, -1);
    EXPECT_EQ(convert(u"40000", VT_I2, out), DISP_E_OVERFLOW);
    EXPECT_EQ(convert(u"12a", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(convert(u"", VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(convert(u"True", VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
}

TEST(Variant, ScopedVariantThrowsTheConversionFailure) {
    ScopedVariant variant;
    variant->vt = VT_BSTR;
    variant->bstrVal = SysAllocString(TEXT("not a number"));
    try {
        variant.ChangeType(VT_I4);
        FAIL() << "no exception";
    } catch (const ComError& error) {
        EXPECT_EQ(error.code(), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(variant->vt, VT_BSTR);  // unchanged after a failed conversion
    EXPECT_EQ(VariantClear(variant.Get()), S_OK);
    EXPECT_EQ(variant->vt, VT_EMPTY);
}

}  // namespace

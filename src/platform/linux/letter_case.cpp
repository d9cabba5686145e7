#include "letter_case.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

namespace {

// The Unicode case mapping of the C library's UTF-8 locale, loaded once;
// null where the system has none, and then only ASCII letters change.
locale_t UnicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

WCHAR UpcaseUnit(WCHAR c) {
    if (c >= 'a' && c <= 'z') return static_cast<WCHAR>(c - 'a' + 'A');
    if (c < 0x80 || (c >= 0xD800 && c <= 0xDFFF) || !UnicodeLocale()) return c;
    wint_t upper = towupper_l(c, UnicodeLocale());
    // A mapping out of the 16-bit range cannot stand for one unit; one into
    // ASCII (dotless i, long s) would make a foreign name alias a plain one.
    return upper >= 0x80 && upper <= 0xFFFF ? static_cast<WCHAR>(upper) : c;
}

bool EqualIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](WCHAR x, WCHAR y) { return UpcaseUnit(x) == UpcaseUnit(y); });
}

// Letter case as the deployment compares it: only the Latin letters A to Z
// have a lower-case form; every other character stands as it is.
#pragma once

#include "platform/platform.h"

inline WCHAR LowerLatinLetter(WCHAR c) {
    return (c >= TEXT('A') && c <= TEXT('Z')) ? static_cast<WCHAR>(c - TEXT('A') + TEXT('a')) : c;
}

inline bool EqualsIgnoringLetterCase(const WCHAR* a, const WCHAR* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (LowerLatinLetter(*a) != LowerLatinLetter(*b)) {
            return false;
        }
    }
    return *a == *b;
}

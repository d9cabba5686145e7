// Letter case as NTFS compares names: each UTF-16 unit is taken in upper case
// (a surrogate stays as it is), so "a1.cab" and "A1.CAB" are one name.
#pragma once

#include <string>

#include "win_types.h"

WCHAR UpcaseUnit(WCHAR c);
bool EqualIgnoringCase(const std::u16string& a, const std::u16string& b);

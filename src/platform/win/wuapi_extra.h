// Declarations that MinGW-w64's wuapi.h lacks (see wuapi_additions.h). The
// identifiers are defined once, in wua_guids.cpp.
#pragma once

#include <wuapi.h>

#define WUA_DEFINE_GUID DEFINE_GUID
#include "platform/wuapi_additions.h"

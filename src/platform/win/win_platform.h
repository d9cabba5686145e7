// The Windows build uses the real API. Winsock 2 comes before windows.h, as
// the gSOAP runtime needs it.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <sddl.h>
#include <wtsapi32.h>
#include <userenv.h>
#include <wuapi.h>

#include "wuapi_extra.h"
#include "platform/platform_extras.h"

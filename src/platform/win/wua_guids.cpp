// Defines, once for the program, the identifiers of the update agent's
// interfaces and classes: MinGW-w64 ships no library that holds them.
#include <initguid.h>

#include "platform/platform.h"

// The simulated agent's objects, reached only through their interfaces.
#pragma once

#include <string>

#include "platform/platform.h"

namespace wua_sim {

// The class's name ("UpdateSession", ...), or null when the simulation does
// not serve it.
const char* ClassName(REFCLSID clsid);

// A new object of a served class, asked for riid without a journal line:
// E_NOINTERFACE when the class lacks it.
HRESULT CreateObject(REFCLSID clsid, REFIID riid, void** object);

// The interface's name for the journal, or its GUID text.
std::string InterfaceName(REFIID riid);

}  // namespace wua_sim

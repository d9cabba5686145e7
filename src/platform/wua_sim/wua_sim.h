// The simulated Windows Update Agent: in-process objects of the four classes
// that the worker creates (UpdateSession, UpdateServiceManager,
// UpdateCollection, StringCollection), driven by a JSON catalog, with fault
// injection and a journal of every call. See README.md in this folder.
#pragma once

#include "platform/platform.h"

// Creates an object of one of the four classes, as CoCreateInstance does for
// an in-process server: REGDB_E_CLASSNOTREG for any other class or a context
// without CLSCTX_INPROC_SERVER, CLASS_E_NOAGGREGATION with an outer object,
// E_NOINTERFACE when the class lacks riid. Journaled as "CoCreateInstance".
HRESULT WuaSimCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

// Number of simulated objects alive in this process.
long WuaSimLiveObjects();

// Appends "live-objects <n>" to the journal (also done at process exit).
void WuaSimJournalLiveObjects();

// Forgets the faults and call counts read so far, so that the next call reads
// WUA_SIM_FAULTS, WUA_SIM_JOURNAL and WUA_SIM_ONLINE_CATALOG afresh. For unit
// tests that change the environment between cases.
void WuaSimReset();

// What every simulated object shares: the live-object count, the journal,
// the injected faults, and text conversions between BSTRs and UTF-8.
#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"

namespace wua_sim {

// ---------------------------------------------------------------- text

std::string Narrow(const WCHAR* text);  // UTF-16 to UTF-8; null gives ""
std::string Narrow(BSTR text, UINT length);
// A new BSTR with the UTF-8 text; E_OUTOFMEMORY when it cannot be made.
HRESULT NewBstr(const std::string& utf8, BSTR* out);
std::string Lower(std::string text);  // ASCII letters only
std::string GuidText(REFGUID guid);   // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
std::string HexCode(HRESULT code);    // 0xXXXXXXXX

// Reads a result code written as decimal, 0x-hexadecimal (also negative
// decimal) text or a JSON number; nullopt when it is neither.
std::optional<HRESULT> ParseCode(const std::string& text);
std::optional<HRESULT> ParseCode(const nlohmann::json& value);

// ---------------------------------------------------------------- objects

// The reference count of a simulated object and its place in the live-object
// count. Retain and Drop are the object's own bookkeeping and leave no
// journal line; the COM-facing AddRef and Release are journaled.
class SimCounted {
public:
    explicit SimCounted(const char* kind);
    virtual ~SimCounted();
    SimCounted(const SimCounted&) = delete;
    SimCounted& operator=(const SimCounted&) = delete;

    ULONG Retain() { return ++references_; }
    ULONG Drop();  // deletes the object when the count reaches zero
    const char* Kind() const { return kind_; }

private:
    const char* kind_;
    std::atomic<ULONG> references_{1};
};

long LiveObjects();

// Adds or drops a reference quietly when the object is one of ours, through
// AddRef or Release otherwise.
void HoldInterface(IUnknown* object);
void DropInterface(IUnknown* object);

// ---------------------------------------------------------------- faults

struct Fault {
    HRESULT code = S_OK;
    bool nullObject = false;  // S_OK (or code) with a null object
    bool raise = false;       // Release raises a ComError after dropping its reference
    bool block = false;       // the call never returns (until the process ends)
    // The call is not carried out: a failure code or a null object.
    bool Skips() const { return nullObject || FAILED(code); }
};

// Parses "Key=Value,Key=Value" (the WUA_SIM_FAULTS form). Value: "null", a
// code, "<code>/null", "throw" (for Release) or "block". Unreadable entries
// are ignored.
std::map<std::string, Fault> ParseFaults(const std::string& text);
// Parses a catalog's "faults" object with the same values.
std::map<std::string, Fault> ParseFaults(const nlohmann::json& faults);

// Adds faults that a catalog names; those from WUA_SIM_FAULTS win.
void AddCatalogFaults(const std::map<std::string, Fault>& faults);

// Counts a call of each key and returns the fault for it: "key#n" for the
// n-th call of key (from 1), else "key". The first key with a fault wins;
// every key is counted.
std::optional<Fault> FaultFor(const std::vector<std::string>& keys);

// ---------------------------------------------------------------- journal

// Appends "<subject> <arguments as a JSON object> -> <result>" to the file
// that WUA_SIM_JOURNAL names; nothing without it.
void Journal(const std::string& subject, const nlohmann::json& arguments, const std::string& result);
void JournalText(const std::string& line);

// Forgets faults, counts and the environment read so far.
void ResetRuntime();

// ---------------------------------------------------------------- calls

// One journaled, fault-injectable call of a simulated method. The key is
// "<Kind>::<Method>".
class Call {
public:
    Call(const char* kind, const char* method, nlohmann::json arguments = nlohmann::json::object());
    // A call journaled as `subject` whose faults are looked up under `keys`.
    struct FaultKeys {
        std::vector<std::string> keys;
    };
    Call(std::string subject, nlohmann::json arguments, FaultKeys keys);
    // True when the injected fault replaces the call: return Skip() then.
    bool Skipped() const { return fault_ && fault_->Skips(); }
    HRESULT Skip() { return Done(fault_->code, fault_->nullObject); }
    // Journals the call's result. A successful call returns the injected
    // success code (S_FALSE, say) when one was given.
    HRESULT Done(HRESULT hr, bool nullObject = false);
    nlohmann::json& Arguments() { return arguments_; }

private:
    // An injected "block" holds the call here for good, journaled as
    // "-> block".
    void BlockWhenAsked();

    std::string subject_;
    nlohmann::json arguments_;
    std::optional<Fault> fault_;
    bool done_ = false;
};

}  // namespace wua_sim

#include "sim_runtime.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

namespace wua_sim {

// ---------------------------------------------------------------- text

std::string Narrow(BSTR text, UINT length) {
    if (!text || length == 0) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

std::string Narrow(const WCHAR* text) {
    if (!text) return std::string();
    UINT length = 0;
    while (text[length]) ++length;
    return Narrow(const_cast<BSTR>(text), length);
}

HRESULT NewBstr(const std::string& utf8, BSTR* out) {
    *out = nullptr;
    int units =
        utf8.empty() ? 0 : MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(units));
    if (!text) return E_OUTOFMEMORY;
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text, units);
    *out = text;
    return S_OK;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string GuidText(REFGUID guid) {
    char text[64];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string HexCode(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::optional<HRESULT> ParseCode(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || value < INT32_MIN || value > static_cast<long long>(UINT32_MAX)) return std::nullopt;
    return static_cast<HRESULT>(static_cast<uint32_t>(value));
}

std::optional<HRESULT> ParseCode(const nlohmann::json& value) {
    if (value.is_string()) return ParseCode(value.get<std::string>());
    if (value.is_number_integer()) return ParseCode(std::to_string(value.get<long long>()));
    return std::nullopt;
}

// ---------------------------------------------------------------- shared state

namespace {

std::atomic<long> liveObjects{0};

struct Runtime {
    std::mutex lock;
    bool environmentRead = false;
    std::map<std::string, Fault> environmentFaults;
    std::map<std::string, Fault> catalogFaults;
    std::map<std::string, long> callCounts;
    std::string journalPath;
};

Runtime& State() {
    static Runtime* runtime = new Runtime();  // outlives every static destructor
    return *runtime;
}

void ReadEnvironment(Runtime& runtime) {
    if (runtime.environmentRead) return;
    runtime.environmentRead = true;
    const char* faults = std::getenv("WUA_SIM_FAULTS");
    runtime.environmentFaults = faults ? ParseFaults(std::string(faults)) : std::map<std::string, Fault>();
    const char* journal = std::getenv("WUA_SIM_JOURNAL");
    runtime.journalPath = journal ? journal : "";
}

std::optional<Fault> ParseFaultValue(const std::string& value) {
    Fault fault;
    std::string code = value;
    const std::string nullSuffix = "/null";
    if (value == "null") {
        fault.nullObject = true;
        return fault;
    }
    if (value == "throw") {
        fault.raise = true;
        return fault;
    }
    if (value == "block") {
        fault.block = true;
        return fault;
    }
    if (code.size() > nullSuffix.size() &&
        code.compare(code.size() - nullSuffix.size(), nullSuffix.size(), nullSuffix) == 0) {
        fault.nullObject = true;
        code.resize(code.size() - nullSuffix.size());
    }
    std::optional<HRESULT> parsed = ParseCode(code);
    if (!parsed) return std::nullopt;
    fault.code = *parsed;
    return fault;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

SimCounted::SimCounted(const char* kind) : kind_(kind) {
    ++liveObjects;
}

SimCounted::~SimCounted() {
    --liveObjects;
}

ULONG SimCounted::Drop() {
    ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
}

long LiveObjects() {
    return liveObjects.load();
}

void HoldInterface(IUnknown* object) {
    if (!object) return;
    if (auto* ours = dynamic_cast<SimCounted*>(object)) {
        ours->Retain();
    } else {
        object->AddRef();
    }
}

void DropInterface(IUnknown* object) {
    if (!object) return;
    if (auto* ours = dynamic_cast<SimCounted*>(object)) {
        ours->Drop();
    } else {
        object->Release();
    }
}

// ---------------------------------------------------------------- faults

std::map<std::string, Fault> ParseFaults(const std::string& text) {
    std::map<std::string, Fault> faults;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string entry = text.substr(start, end - start);
        std::size_t equals = entry.rfind('=');
        if (equals != std::string::npos) {
            std::string key = Trim(entry.substr(0, equals));
            if (auto fault = ParseFaultValue(Trim(entry.substr(equals + 1))); fault && !key.empty()) {
                faults[key] = *fault;
            }
        }
        start = end + 1;
    }
    return faults;
}

std::map<std::string, Fault> ParseFaults(const nlohmann::json& faults) {
    std::map<std::string, Fault> parsed;
    if (!faults.is_object()) return parsed;
    for (const auto& [key, value] : faults.items()) {
        std::optional<Fault> fault;
        if (value.is_string()) {
            fault = ParseFaultValue(value.get<std::string>());
        } else if (auto code = ParseCode(value)) {
            fault = Fault{*code, false};
        }
        if (fault) parsed[key] = *fault;
    }
    return parsed;
}

void AddCatalogFaults(const std::map<std::string, Fault>& faults) {
    Runtime& runtime = State();
    std::lock_guard<std::mutex> guard(runtime.lock);
    for (const auto& [key, fault] : faults) runtime.catalogFaults[key] = fault;
}

std::optional<Fault> FaultFor(const std::vector<std::string>& keys) {
    Runtime& runtime = State();
    std::lock_guard<std::mutex> guard(runtime.lock);
    ReadEnvironment(runtime);
    std::optional<Fault> found;
    for (const std::string& key : keys) {
        long count = ++runtime.callCounts[key];
        for (const std::string& candidate : {key + "#" + std::to_string(count), key}) {
            if (found) break;
            for (const auto* table : {&runtime.environmentFaults, &runtime.catalogFaults}) {
                if (auto hit = table->find(candidate); hit != table->end()) {
                    found = hit->second;
                    break;
                }
            }
        }
    }
    return found;
}

// ---------------------------------------------------------------- journal

void JournalText(const std::string& line) {
    Runtime& runtime = State();
    std::lock_guard<std::mutex> guard(runtime.lock);
    ReadEnvironment(runtime);
    if (runtime.journalPath.empty()) return;
    std::ofstream journal(runtime.journalPath, std::ios::app | std::ios::binary);
    journal << line << '\n';
}

void Journal(const std::string& subject, const nlohmann::json& arguments, const std::string& result) {
    JournalText(subject + " " + arguments.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + " -> " +
                result);
}

void ResetRuntime() {
    Runtime& runtime = State();
    std::lock_guard<std::mutex> guard(runtime.lock);
    runtime.environmentRead = false;
    runtime.catalogFaults.clear();
    runtime.callCounts.clear();
}

// ---------------------------------------------------------------- calls

Call::Call(const char* kind, const char* method, nlohmann::json arguments)
    : subject_(std::string(kind) + "::" + method),
      arguments_(std::move(arguments)),
      fault_(FaultFor(std::vector<std::string>{subject_})) {
    BlockWhenAsked();
}

Call::Call(std::string subject, nlohmann::json arguments, FaultKeys keys)
    : subject_(std::move(subject)), arguments_(std::move(arguments)), fault_(FaultFor(keys.keys)) {
    BlockWhenAsked();
}

void Call::BlockWhenAsked() {
    if (!fault_ || !fault_->block) return;
    // The journal line tells a test that the call has begun and will not end.
    done_ = true;
    Journal(subject_, arguments_, "block");
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

HRESULT Call::Done(HRESULT hr, bool nullObject) {
    if (SUCCEEDED(hr) && fault_ && !fault_->Skips()) hr = fault_->code;
    if (!done_) {
        done_ = true;
        Journal(subject_, arguments_, HexCode(hr) + (nullObject ? " null" : ""));
    }
    return hr;
}

}  // namespace wua_sim

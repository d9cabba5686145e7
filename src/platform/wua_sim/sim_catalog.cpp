#include "sim_catalog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>

#include <nlohmann/json.hpp>

#include "sim_runtime.h"

namespace wua_sim {

using nlohmann::json;

bool UpdateModel::IsDownloaded() const {
    if (downloaded) return true;
    if (!bundled.empty()) {
        return std::all_of(bundled.begin(), bundled.end(), [](const auto& child) { return child->IsDownloaded(); });
    }
    // A top-level update without bundled updates is fetched by the agent;
    // a bundled update without content has nothing to fetch.
    return !topLevel && contentUrls.empty();
}

void UpdateModel::MarkDownloaded() {
    downloaded = true;
    for (const auto& child : bundled) child->MarkDownloaded();
}

namespace {

// A number of the catalog that the agent hands out as a LONG: absent gives
// fallback; a fraction, or a value beyond LONG's range, makes the entry
// invalid, as converting it would be undefined.
bool ReadLong(const json& object, const char* key, LONG fallback, LONG& value) {
    if (!object.contains(key)) {
        value = fallback;
        return true;
    }
    const json& given = object[key];
    if (given.is_number_unsigned()) {
        if (given.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<LONG>::max())) return false;
    } else if (!given.is_number_integer()) {
        return false;
    }
    const std::int64_t number = given.get<std::int64_t>();
    if (number < std::numeric_limits<LONG>::min() || number > std::numeric_limits<LONG>::max()) return false;
    value = static_cast<LONG>(number);
    return true;
}

// Reads one update; false when the entry is not one.
bool ReadUpdate(const json& entry, bool topLevel, UpdateModel& update) {
    if (!entry.is_object() || !entry.contains("id") || !entry["id"].is_string()) return false;
    for (const char* list : {"found_by", "contents", "bundled"}) {
        if (entry.contains(list) && !entry[list].is_array()) return false;
    }
    try {
        update.id = entry["id"].get<std::string>();
        update.topLevel = topLevel;
        if (!ReadLong(entry, "revision", 1, update.revision)) return false;
        update.title = entry.value("title", std::string());
        update.installed = entry.value("installed", false);
        update.downloaded = entry.value("downloaded", false);
        update.eulaRequired = entry.value("eula_required", false);
        for (const auto& id : entry.value("found_by", json::array()))
            update.foundBy.push_back(Lower(id.get<std::string>()));
        for (const auto& url : entry.value("contents", json::array()))
            update.contentUrls.push_back(url.get<std::string>());
        for (const auto& [name, outcome] :
             {std::pair{"install", &update.install}, std::pair{"download", &update.download}}) {
            if (!entry.contains(name)) continue;
            const json& given = entry[name];
            if (!given.is_object()) return false;
            if (!ReadLong(given, "result_code", 2, outcome->resultCode)) return false;
            if (given.contains("hresult")) {
                std::optional<HRESULT> code = ParseCode(given["hresult"]);
                if (!code) return false;
                outcome->hresult = *code;
            }
            outcome->rebootRequired = given.value("reboot_required", false);
        }
        for (const auto& child : entry.value("bundled", json::array())) {
            auto bundled = std::make_shared<UpdateModel>();
            if (!ReadUpdate(child, false, *bundled)) return false;
            update.bundled.push_back(bundled);
        }
    } catch (const json::exception&) {
        return false;  // a field of the wrong type
    }
    return true;
}

bool IsGuid(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[i];
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex) return false;
    }
    return true;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Splits at the word "and" outside quotes, in any letter case.
std::optional<std::vector<std::string>> SplitTerms(const std::string& text) {
    std::vector<std::string> terms;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\'') quoted = !quoted;
        bool boundaryBefore = i == 0 || text[i - 1] == ' ';
        if (!quoted && boundaryBefore && i + 4 <= text.size() && Lower(text.substr(i, 3)) == "and" &&
            (text[i + 3] == ' ')) {
            terms.push_back(current);
            current.clear();
            i += 3;
            continue;
        }
        current += c;
    }
    if (quoted) return std::nullopt;
    terms.push_back(current);
    return terms;
}

struct Registration {
    std::shared_ptr<Catalog> catalog;
    int count = 0;
};

struct Registry {
    std::mutex lock;
    std::map<std::string, Registration> services;  // by lower-case ID
    std::shared_ptr<Catalog> online;
    int registered = 0;
};

Registry& Services() {
    static Registry* registry = new Registry();
    return *registry;
}

}  // namespace

HRESULT ReadCatalog(const std::filesystem::path& file, std::shared_ptr<Catalog>& catalog) {
    catalog.reset();
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return kFileNotFound;
    std::ifstream input(file, std::ios::binary);
    if (!input) return kFileNotFound;
    json document = json::parse(input, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("updates") ||
        !document["updates"].is_array()) {
        return kInvalidScanFile;
    }
    auto read = std::make_shared<Catalog>();
    if (document.contains("service_id")) {
        if (!document["service_id"].is_string()) return kInvalidScanFile;
        read->serviceId = document["service_id"].get<std::string>();
    }
    for (const auto& entry : document["updates"]) {
        auto update = std::make_shared<UpdateModel>();
        if (!ReadUpdate(entry, true, *update)) return kInvalidScanFile;
        read->updates.push_back(update);
    }
    if (document.contains("faults")) AddCatalogFaults(ParseFaults(document["faults"]));
    catalog = read;
    return S_OK;
}

std::optional<Criteria> ParseCriteria(const std::string& text) {
    std::optional<std::vector<std::string>> terms = SplitTerms(text);
    if (!terms) return std::nullopt;
    Criteria criteria;
    for (const std::string& rawTerm : *terms) {
        std::string term = Trim(rawTerm);
        std::size_t equals = term.find('=');
        if (equals == std::string::npos) return std::nullopt;
        std::string name = Lower(Trim(term.substr(0, equals)));
        std::string value = Trim(term.substr(equals + 1));
        bool quoted = value.size() >= 2 && value.front() == '\'' && value.back() == '\'';
        std::string inner = quoted ? value.substr(1, value.size() - 2) : value;
        if (inner.find('\'') != std::string::npos) return std::nullopt;
        if (name == "updateid") {
            if (!quoted || !IsGuid(inner)) return std::nullopt;
            criteria.updateId = Lower(inner);
        } else if (name == "type") {
            if (!quoted) return std::nullopt;
            std::string type = Lower(inner);
            if (type != "software" && type != "driver") return std::nullopt;
            criteria.software = type == "software";
        } else if (name == "isinstalled" || name == "revisionnumber") {
            if (quoted || inner.empty() || inner.find_first_not_of("0123456789") != std::string::npos ||
                inner.size() > 9) {
                return std::nullopt;
            }
            LONG number = std::atoi(inner.c_str());
            if (name == "isinstalled") {
                if (number > 1) return std::nullopt;
                criteria.isInstalled = number == 1;
            } else {
                criteria.revision = number;
            }
        } else {
            return std::nullopt;
        }
    }
    return criteria;
}

std::vector<std::shared_ptr<UpdateModel>> FindUpdates(const Catalog& catalog, const Criteria& criteria) {
    std::vector<std::shared_ptr<UpdateModel>> found;
    for (const auto& update : catalog.updates) {
        if (criteria.software && !*criteria.software) continue;  // the catalogs hold software only
        if (criteria.updateId && Lower(update->id) != *criteria.updateId &&
            std::find(update->foundBy.begin(), update->foundBy.end(), *criteria.updateId) == update->foundBy.end()) {
            continue;
        }
        if (criteria.isInstalled && update->installed != *criteria.isInstalled) continue;
        if (criteria.revision && update->revision != *criteria.revision) continue;
        found.push_back(update);
    }
    return found;
}

std::string RegisterScanPackage(const std::shared_ptr<Catalog>& catalog) {
    Registry& registry = Services();
    std::lock_guard<std::mutex> guard(registry.lock);
    std::string id = catalog->serviceId;
    if (id.empty()) {
        // The real agent makes up a new ID for each registration.
        char made[40];
        std::snprintf(made, sizeof(made), "5ca1ab1e-0000-4000-8000-%012d", ++registry.registered);
        id = made;
    }
    Registration& registration = registry.services[Lower(id)];
    registration.catalog = catalog;
    ++registration.count;
    return id;
}

void UnregisterScanPackage(const std::string& serviceId) {
    Registry& registry = Services();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.services.find(Lower(serviceId));
    if (found != registry.services.end() && --found->second.count <= 0) registry.services.erase(found);
}

HRESULT CatalogOfService(const std::string& serviceId, std::shared_ptr<Catalog>& catalog) {
    Registry& registry = Services();
    std::lock_guard<std::mutex> guard(registry.lock);
    catalog.reset();
    std::string key = Lower(serviceId);
    if (auto found = registry.services.find(key); found != registry.services.end()) {
        catalog = found->second.catalog;
        return S_OK;
    }
    if (key != kMicrosoftUpdateServiceId) return kNoService;
    if (!registry.online) {
        const char* file = std::getenv("WUA_SIM_ONLINE_CATALOG");
        if (!file || !*file) return kNameNotResolved;
        if (FAILED(ReadCatalog(std::filesystem::path(file), registry.online))) return kNameNotResolved;
    }
    catalog = registry.online;
    return S_OK;
}

void ResetCatalogs() {
    Registry& registry = Services();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.services.clear();
    registry.online.reset();
    registry.registered = 0;
}

}  // namespace wua_sim

// The simulated agent's knowledge: catalogs of updates read from JSON (the
// scan package, the Microsoft Update service), the services registered in
// this process, and the search criteria that select updates.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace wua_sim {

// Result codes of the real agent that the simulation reproduces.
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);     // ERROR_FILE_NOT_FOUND
constexpr HRESULT kNoService = static_cast<HRESULT>(0x80240001);        // WU_E_NO_SERVICE
constexpr HRESULT kEulasDeclined = static_cast<HRESULT>(0x80240023);    // WU_E_EULAS_DECLINED
constexpr HRESULT kNoUpdate = static_cast<HRESULT>(0x80240024);         // WU_E_NO_UPDATE
constexpr HRESULT kSourceAbsent = static_cast<HRESULT>(0x8024002D);     // WU_E_SOURCE_ABSENT
constexpr HRESULT kInvalidCriteria = static_cast<HRESULT>(0x80240032);  // WU_E_INVALID_CRITERIA
constexpr HRESULT kNotSupported = static_cast<HRESULT>(0x80240037);     // WU_E_NOT_SUPPORTED
constexpr HRESULT kNameNotResolved = static_cast<HRESULT>(0x8024402C);  // WU_E_PT_WINHTTP_NAME_NOT_RESOLVED
constexpr HRESULT kInvalidScanFile = static_cast<HRESULT>(0x80247001);  // WU_E_OL_INVALID_SCANFILE

// The Microsoft Update service, which the worker addresses by this ID.
inline constexpr const char* kMicrosoftUpdateServiceId = "7971f918-a847-4430-9279-4a52d1efe18d";

struct Outcome {
    LONG resultCode = 2;  // orcSucceeded
    HRESULT hresult = S_OK;
    bool rebootRequired = false;
};

// One update of a catalog, with what happens to it in this process (EULA
// accepted, content cached or downloaded, installed). Shared by every
// simulated object that shows it.
struct UpdateModel {
    std::string id;
    LONG revision = 1;
    std::string title;
    bool topLevel = true;
    bool installed = false;
    bool downloaded = false;
    bool eulaRequired = false;
    bool eulaAccepted = false;
    std::vector<std::string> foundBy;  // further IDs a search finds it by (lower case)
    std::vector<std::string> contentUrls;
    std::vector<std::shared_ptr<UpdateModel>> bundled;
    Outcome install;
    Outcome download;

    // Content is in the agent's cache: downloaded or copied there, or (for a
    // bundled update) there is none to fetch; an update with bundled updates
    // once all of them are.
    bool IsDownloaded() const;
    void MarkDownloaded();
};

struct Catalog {
    std::string serviceId;
    std::vector<std::shared_ptr<UpdateModel>> updates;
};

// Reads a catalog file. Errors: kFileNotFound when it cannot be opened,
// kInvalidScanFile when it is not a catalog. The faults it names are added to
// the injected ones.
HRESULT ReadCatalog(const std::filesystem::path& file, std::shared_ptr<Catalog>& catalog);

struct Criteria {
    std::optional<std::string> updateId;  // lower case
    std::optional<bool> software;         // Type='Software' or 'Driver'
    std::optional<bool> isInstalled;
    std::optional<LONG> revision;
};

// Parses "Name='value' and Name=number ..." with the names Type, UpdateID,
// IsInstalled and RevisionNumber (any letter case). nullopt for anything
// else, as the real agent refuses it (kInvalidCriteria).
std::optional<Criteria> ParseCriteria(const std::string& text);
std::vector<std::shared_ptr<UpdateModel>> FindUpdates(const Catalog& catalog, const Criteria& criteria);

// Registers a scan-package service for the catalog and returns its ID. Each
// registration counts until UnregisterScanPackage is called for it; a
// catalog that names its service ID may be registered more than once.
std::string RegisterScanPackage(const std::shared_ptr<Catalog>& catalog);
// Ends one registration of the service; the ID is unknown once none is left.
void UnregisterScanPackage(const std::string& serviceId);
// The catalog behind a service ID (any letter case): a registered scan
// package, or for the Microsoft Update service the file that
// WUA_SIM_ONLINE_CATALOG names. Errors: kNoService for an unknown ID,
// kNameNotResolved when the Microsoft Update catalog cannot be had.
HRESULT CatalogOfService(const std::string& serviceId, std::shared_ptr<Catalog>& catalog);

void ResetCatalogs();

}  // namespace wua_sim

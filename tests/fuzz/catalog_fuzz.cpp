// The simulated update agent's catalog reader and search criteria: any file
// is either a catalog or refused as an invalid scan package (0x80247001),
// any criteria text is either understood or refused, and a search of a read
// catalog finds only updates that the criteria's update ID names.
// Input: the criteria text, a line feed, then the catalog file's bytes.
#include <unistd.h>

#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_arguments.h"
#include "platform/wua_sim/sim_catalog.h"
#include "platform/wua_sim/wua_sim.h"

namespace {

std::string g_file;

bool FoundByIdentifier(const wua_sim::UpdateModel& update, const std::string& id) {
    std::string own = update.id;
    for (char& c : own) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (own == id) return true;
    for (const std::string& other : update.foundBy)
        if (other == id) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceConsole();
    char folder[] = "/tmp/catalog_fuzz_XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    g_file = std::string(folder) + "/wsusscn2.cab";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t lineEnd = input.find('\n');
    std::string criteriaText = lineEnd == std::string::npos ? std::string() : input.substr(0, lineEnd);
    std::string catalogText = lineEnd == std::string::npos ? input : input.substr(lineEnd + 1);
    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out << catalogText;
    }

    std::shared_ptr<wua_sim::Catalog> catalog;
    HRESULT hr = wua_sim::ReadCatalog(g_file, catalog);
    if (hr != S_OK && hr != wua_sim::kInvalidScanFile) std::abort();
    if ((hr == S_OK) != static_cast<bool>(catalog)) std::abort();

    std::optional<wua_sim::Criteria> criteria = wua_sim::ParseCriteria(criteriaText);
    if (catalog && criteria) {
        for (const auto& update : wua_sim::FindUpdates(*catalog, *criteria)) {
            if (!update) std::abort();
            if (criteria->updateId && !FoundByIdentifier(*update, *criteria->updateId)) std::abort();
        }
    }
    WuaSimReset();
    return 0;
}

// Injected failures of file calls (see file_faults.h).
#include "file_faults.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <vector>

#include "base_api.h"

namespace {

struct Fault {
    FileCall call;
    std::string pathEnding;
    DWORD error;
    int skip;
    int times;  // -1: every matching call after the skipped ones
};

std::mutex& FaultGuard() {
    static std::mutex guard;
    return guard;
}

const char* const kCallNames[] = {"create", "write", "flush", "move", "delete", "flushdir"};

// The failures that WORKER_FILE_FAULTS sets for the whole process: entries
// "<call>:<error>:<skip>:<times>:<path ending>", comma separated; an entry
// that does not read so is passed over.
std::vector<Fault> FaultsFromEnvironment() {
    std::vector<Fault> faults;
    const char* text = std::getenv("WORKER_FILE_FAULTS");
    std::istringstream entries(text ? text : "");
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        std::istringstream fields(entry);
        std::string name, ending;
        unsigned long error = 0;
        int skip = 0, times = 0;
        char colon[4] = {};
        if (!std::getline(fields, name, ':') ||
            !(fields >> error >> colon[0] >> skip >> colon[1] >> times >> colon[2]) || std::string(colon, 3) != ":::")
            continue;
        std::getline(fields, ending);
        for (std::size_t call = 0; call < sizeof kCallNames / sizeof kCallNames[0]; ++call)
            if (name == kCallNames[call])
                faults.push_back(Fault{static_cast<FileCall>(call), ending, static_cast<DWORD>(error), skip, times});
    }
    return faults;
}

std::vector<Fault>& Faults() {
    static std::vector<Fault> faults = FaultsFromEnvironment();
    return faults;
}

bool EndsWith(const std::string& path, const std::string& ending) {
    return path.size() >= ending.size() &&
           std::equal(ending.rbegin(), ending.rend(), path.rbegin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

void FailFileCalls(FileCall call, const char* pathEnding, DWORD error, int skip, int times) {
    std::lock_guard<std::mutex> lock(FaultGuard());
    Faults().push_back(Fault{call, pathEnding ? pathEnding : "", error, skip, times});
}

void ClearFileFaults() {
    std::lock_guard<std::mutex> lock(FaultGuard());
    Faults().clear();
}

bool FileCallFails(FileCall call, const std::string& path, const std::string& otherPath) {
    std::lock_guard<std::mutex> lock(FaultGuard());
    for (Fault& fault : Faults()) {
        if (fault.call != call || fault.times == 0) continue;
        if (!EndsWith(path, fault.pathEnding) && (otherPath.empty() || !EndsWith(otherPath, fault.pathEnding)))
            continue;
        if (fault.skip > 0) {
            --fault.skip;
            continue;
        }
        if (fault.times > 0) --fault.times;
        SetLastError(fault.error);
        return true;
    }
    return false;
}

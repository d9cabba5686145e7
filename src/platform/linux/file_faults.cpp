// Injected failures of file calls (see file_faults.h).
#include "file_faults.h"

#include <algorithm>
#include <cctype>
#include <mutex>
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

std::vector<Fault>& Faults() {
    static std::vector<Fault> faults;
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

// A temporary drive C holding the agent's install directory, for the
// spool's tests on real files; and records written as a job would.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/wide_string.h"
#include "spool/report_spool.h"

namespace fs = std::filesystem;

class SpoolDrive {
public:
    // A folder of this process's own: the cases of a suite run side by side.
    explicit SpoolDrive(const char* name)
        : root_(fs::temp_directory_path() / (std::string(name) + "." + std::to_string(getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "C" / "ORV" / "PatchDeploy");
        setenv("WORKER_DRIVE_ROOT", root_.c_str(), 1);
    }
    ~SpoolDrive() {
        unsetenv("WORKER_DRIVE_ROOT");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    SpoolDrive(const SpoolDrive&) = delete;
    SpoolDrive& operator=(const SpoolDrive&) = delete;

    fs::path Root() const { return root_; }
    fs::path PatchDeploy() const { return root_ / "C" / "ORV" / "PatchDeploy"; }
    fs::path Reports() const { return PatchDeploy() / "Reports"; }
    fs::path File(const std::string& name) const { return Reports() / name; }

    // The names in the spool folder, the lock file left out.
    std::set<std::string> Files() const {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(Reports(), error))
            if (entry.path().filename() != "jobs.lock") names.insert(entry.path().filename().string());
        return names;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    static void Write(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // Sets a file's modification time to seconds since 1970.
    static void Date(const fs::path& path, std::time_t seconds) {
        struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }

private:
    fs::path root_;
};

inline ReportRecord RecordOf(int job, int status, const std::wstring& description) {
    ReportRecord record;
    record.nJobID = job;
    record.nSystemID = 7;
    record.nPatchID = 9;
    record.nStatus = status;
    record.strErrorDescription = description;
    return record;
}

inline WideString Wide(const std::string& text) {
    return WideString(text.begin(), text.end());
}

// Leaves a record for job as a job that ended without an acknowledgement
// would, dated written; returns its file name.
inline std::string LeaveRecord(const SpoolDrive& drive, int job, const std::wstring& description, std::time_t written) {
    const std::string number = std::to_string(job);
    std::string name;
    {
        ReportSpool spool(Wide(number).c_str(), TEXT("C"));
        ReportRecord record = RecordOf(job, -6, description);
        record.written = written;
        spool.Write(record);
    }
    for (const std::string& file : drive.Files())
        if (file.rfind(number + ".", 0) == 0) name = file;
    SpoolDrive::Date(drive.File(name), written);
    return name;
}

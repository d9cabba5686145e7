#include "driver/report_spool.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <utility>
#include <vector>

#include "driver/last_error_kept.h"
#include "platform/drive_letter.h"
#include "status/status_proxy.h"

namespace {

using Text = std::basic_string<WCHAR>;

const WCHAR kRecordSuffix[] = TEXT(".xml");
const WCHAR kTemporarySuffix[] = TEXT(".tmp");
const WCHAR kSetAsideSuffix[] = TEXT(".bad");
// One file for the locks of every job: a job's lock is the byte at its
// number, so that no job makes or deletes a lock file of its own.
const WCHAR kLockFileName[] = TEXT("jobs.lock");
const DWORD kDurableMove = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// A record is at most a description of 1023 characters, each written as at
// most five bytes, and the fields around it: anything larger is not ours.
constexpr DWORD kMostRecordBytes = 16384;
// A memory page: a record of at most this size is rewritten in place while
// it is not yet on the disk (see WriteRecordFile).
constexpr std::size_t kOneStepBytes = 4096;

// The job number of a file of ours, "<number><suffix>" with the number in
// its canonical form; empty for any other name. Names on disk are not
// trusted: only these are ever opened, renamed or deleted.
Text JobNumberOf(const Text& name, const Text& suffix) {
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return Text();
    Text number = name.substr(0, name.size() - suffix.size());
    return SpoolJobNumber(number.c_str()) == number ? number : Text();
}

// A record, or what its writing or setting aside left.
bool IsSpoolFile(const Text& name) {
    const Text record = kRecordSuffix;
    return !JobNumberOf(name, record).empty() || !JobNumberOf(name, record + kTemporarySuffix).empty() ||
           !JobNumberOf(name, record + kSetAsideSuffix).empty();
}

// Seconds since 1970 of a file time (100-nanosecond steps since 1601).
long long UnixSecondsOf(const FILETIME& time) {
    const long long kStepsFrom1601To1970 = 116444736000000000LL;
    unsigned long long steps = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (static_cast<long long>(steps) - kStepsFrom1601To1970) / 10000000LL;
}

// The lock file, shared by every job's process; never deleted, so that all
// of them lock bytes of one and the same file.
HANDLE OpenLockFile(const Text& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The byte of the lock file that stands for a job (its number is a plain
// decimal number within the range of an int).
OVERLAPPED LockedByteOf(const Text& jobNumber) {
    OVERLAPPED position{};
    for (WCHAR digit : jobNumber) position.Offset = position.Offset * 10 + static_cast<DWORD>(digit - '0');
    return position;
}

// A job's lock, taken without waiting: a job's process holds it while it
// runs, and the system drops it when the process ends, however it ends.
bool TakeJobLock(HANDLE lockFile, OVERLAPPED position) {
    return LockFileEx(lockFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &position) != FALSE;
}

// Another job's lock, held while this lives.
class BorrowedJobLock {
public:
    BorrowedJobLock(HANDLE lockFile, const Text& jobNumber)
        : lockFile_(lockFile), position_(LockedByteOf(jobNumber)), held_(TakeJobLock(lockFile, position_)) {}
    ~BorrowedJobLock() {
        if (held_) UnlockFileEx(lockFile_, 0, 1, 0, &position_);
    }
    BorrowedJobLock(const BorrowedJobLock&) = delete;
    BorrowedJobLock& operator=(const BorrowedJobLock&) = delete;
    bool Held() const { return held_; }

private:
    HANDLE lockFile_;
    OVERLAPPED position_;
    bool held_;
};

struct FolderEntry {
    long long written;  // seconds since 1970
    Text name;
};

// The names of records, "*.xml".
Text RecordPattern() {
    Text pattern(TEXT("*"));
    return pattern += kRecordSuffix;
}

// The files of a folder that match pattern, oldest first.
std::vector<FolderEntry> ListOldestFirst(const Text& folder, const Text& pattern) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data{};
    ScopedFindHandle search(FindFirstFileW((folder + TEXT("\\") + pattern).c_str(), &data));
    if (!search) return entries;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            entries.push_back({UnixSecondsOf(data.ftLastWriteTime), Text(data.cFileName)});
    } while (FindNextFileW(search.Get(), &data));
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return a.written != b.written ? a.written < b.written : a.name < b.name;
    });
    return entries;
}

// Unavailable: gone (delivered by another job) or not readable now.
enum class ReadResult { Read, Unavailable, TooLarge };

ReadResult ReadWhole(const Text& path, std::string& bytes) {
    ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ReadResult::Unavailable;
    bytes.assign(kMostRecordBytes + 1, '\0');
    DWORD total = 0;
    while (total < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), &bytes[total], static_cast<DWORD>(bytes.size()) - total, &got, nullptr))
            return ReadResult::Unavailable;
        if (got == 0) break;
        total += got;
    }
    if (total > kMostRecordBytes) return ReadResult::TooLarge;
    bytes.resize(total);
    return ReadResult::Read;
}

bool WriteWhole(HANDLE file, const std::string& bytes) {
    DWORD put = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
}

Text DecimalText(long long value) {
    Text digits;
    do {
        digits.insert(digits.begin(), static_cast<WCHAR>('0' + value % 10));
        value /= 10;
    } while (value > 0);
    return digits;
}

}  // namespace

Text SpoolJobNumber(LPCWSTR jobIdText) {
    if (!jobIdText || !*jobIdText) return Text();
    long long value = 0;
    for (const WCHAR* c = jobIdText; *c; ++c) {
        if (*c < '0' || *c > '9') return Text();
        value = value * 10 + (*c - '0');
        if (value > INT_MAX) return Text();
    }
    return DecimalText(value);
}

ReportSpool::ReportSpool(LPCWSTR jobIdText, LPCWSTR drive) {
    LastErrorKept lastError;
    jobNumber_ = SpoolJobNumber(jobIdText);
    if (jobNumber_.empty() || !IsDriveLetter(drive)) return;
    // The install directory itself must exist: a drive without the agent
    // gets no folders of ours.
    Text patchDeploy = Text(1, drive[0]) + TEXT(":\\ORV\\PatchDeploy");
    folder_ = patchDeploy + TEXT("\\Reports");
    const Text lockPath = PathOf(kLockFileName);
    *lockFile_.Receive() = OpenLockFile(lockPath);
    // The folders are made only when the lock file cannot be opened for want
    // of them: once made, they are there for every later job.
    if (!lockFile_) {
        for (const Text& path : {patchDeploy, folder_}) {
            if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return;
        }
        *lockFile_.Receive() = OpenLockFile(lockPath);
    }
    inUse_ = lockFile_ && TakeJobLock(lockFile_.Get(), LockedByteOf(jobNumber_));
}

Text ReportSpool::PathOf(const Text& name) const {
    return folder_ + TEXT("\\") + name;
}

void ReportSpool::RemoveBeyondBounds() {
    if (!inUse_) return;
    std::call_once(removedBeyondBounds_, [this] { RemoveBeyondBoundsOnce(); });
}

void ReportSpool::RemoveBeyondBoundsOnce() {
    LastErrorKept lastError;
    const Text ownRecord = jobNumber_ + kRecordSuffix;
    std::vector<FolderEntry> kept;
    // Records, and what their writing or setting aside left ("*.xml*"):
    // the folder's other files are not looked at.
    for (FolderEntry& entry : ListOldestFirst(folder_, RecordPattern() + TEXT("*"))) {
        if (IsSpoolFile(entry.name) && entry.name.compare(0, ownRecord.size(), ownRecord) != 0)
            kept.push_back(std::move(entry));
    }
    const long long oldest = static_cast<long long>(std::time(nullptr)) - kMostDays * 24LL * 3600;
    // Room for this job's own record.
    std::size_t excess = kept.size() >= static_cast<std::size_t>(kMostRecords) ? kept.size() - kMostRecords + 1 : 0;
    std::size_t removed = 0;
    for (; removed < kept.size() && (removed < excess || kept[removed].written < oldest); ++removed)
        DeleteFileW(PathOf(kept[removed].name).c_str());
    othersPending_ = std::any_of(kept.begin() + removed, kept.end(), [](const FolderEntry& entry) {
        return !JobNumberOf(entry.name, kRecordSuffix).empty();
    });
}

std::size_t ReportSpool::WriteRecordFile(const Text& name, const std::string& bytes) {
    const Text target = PathOf(name);
    // A record that does not exist yet is written where it stays, which
    // spares the job a file and a rename: no other job reads it before it
    // is whole, as a reader takes the job's lock first, and a worker that
    // ends before it is whole ends before its job began (a later job sets
    // the torn record aside). One that this job wrote is known to exist.
    if (recordSize_ == 0) {
        ScopedHandle file(
            CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return WriteWhole(file.Get(), bytes) ? bytes.size() : 0;
        if (GetLastError() != ERROR_FILE_EXISTS) return 0;
    } else if (!flushed_ && bytes.size() <= kOneStepBytes && recordSize_ <= kOneStepBytes) {
        // Until a flush has put the record on the disk, a power loss keeps
        // nothing of it that could be lost, and it is rewritten where it
        // lies: in one write within one memory page, which the system copies
        // into its cache in one step, so that a process that ends meanwhile
        // leaves the whole previous record or the whole new one. A shorter
        // record is padded with spaces, which the reader passes over, to
        // cover the previous one. While another program has the record open
        // (a virus scanner), it is replaced as below instead.
        std::string padded = bytes;
        if (padded.size() < recordSize_) padded.resize(recordSize_, ' ');
        ScopedHandle file(
            CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return WriteWhole(file.Get(), padded) ? padded.size() : 0;
    }
    // A record that exists is replaced in one step.
    const Text temporary = target + kTemporarySuffix;
    bool written;
    {
        ScopedHandle file(
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return 0;
        written = WriteWhole(file.Get(), bytes);
    }
    if (written && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return bytes.size();
    DeleteFileW(temporary.c_str());
    return 0;
}

void ReportSpool::Write(const ReportRecord& record) {
    if (!inUse_) return;
    LastErrorKept lastError;
    std::string bytes = WriteReportRecord(record);
    const Text name = jobNumber_ + kRecordSuffix;
    std::lock_guard<std::mutex> guard(recordGuard_);
    recordSize_ = bytes.empty() ? 0 : WriteRecordFile(name, bytes);
    unflushed_ = recordSize_ != 0;
    // A record that cannot be replaced must not stay: a later job would
    // deliver its older content instead of this one.
    if (recordSize_ == 0) {
        DeleteFileW(PathOf(name).c_str());
        flushed_ = false;
    }
}

void ReportSpool::MakeDurable() {
    std::lock_guard<std::mutex> guard(recordGuard_);
    if (!unflushed_) return;
    unflushed_ = false;
    flushed_ = true;
    LastErrorKept lastError;
    // The record's data first, then the folder that holds its new name: the
    // name never reaches the disk ahead of what it names.
    ScopedHandle record(CreateFileW(PathOf(jobNumber_ + kRecordSuffix).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!record || !FlushFileBuffers(record.Get())) return;
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedHandle folder(CreateFileW(folder_.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (folder) FlushFileBuffers(folder.Get());
}

void ReportSpool::Remove() {
    if (!inUse_) return;
    LastErrorKept lastError;
    std::lock_guard<std::mutex> guard(recordGuard_);
    unflushed_ = false;
    recordSize_ = 0;
    flushed_ = false;
    DeleteFileW(PathOf(jobNumber_ + kRecordSuffix).c_str());
}

void ReportSpool::SetAside(const Text& recordName) {
    const Text record = PathOf(recordName);
    MoveFileExW(record.c_str(), (record + kSetAsideSuffix).c_str(), kDurableMove);
}

bool ReportSpool::DeliverOne(const Text& jobNumber, veltwuaPortBindingProxy& proxy) {
    // Holding the job's lock keeps its own worker, and other deliverers,
    // away from the record while it is sent.
    BorrowedJobLock lock(lockFile_.Get(), jobNumber);
    if (!lock.Held()) return true;
    const Text recordName = jobNumber + kRecordSuffix;
    std::string bytes;
    ReadResult read = ReadWhole(PathOf(recordName), bytes);
    if (read == ReadResult::Unavailable) return true;
    std::optional<ReportRecord> record;
    if (read == ReadResult::Read) record = ReadReportRecord(bytes);
    // A record must belong to the job it is named after.
    if (!record || record->nJobID < 0 || DecimalText(record->nJobID) != jobNumber) {
        SetAside(recordName);
        return true;
    }
    ns1__UpdateDeployJobStatus request;
    record->FillRequest(request);
    if (proxy.UpdateDeployJobStatus(&request) != SOAP_OK) return false;
    // With the record goes what a power loss may have left of its last write.
    DeleteFileW(PathOf(recordName).c_str());
    DeleteFileW(PathOf(recordName + kTemporarySuffix).c_str());
    return true;
}

void ReportSpool::DeliverPending(veltwuaPortBindingProxy& proxy) {
    // A record that another job leaves while this one runs is left for the
    // next job: most jobs find none, and need not read the folder again.
    RemoveBeyondBounds();
    if (!inUse_ || !othersPending_) return;
    LastErrorKept lastError;
    int looked = 0;
    for (const FolderEntry& entry : ListOldestFirst(folder_, RecordPattern())) {
        if (++looked > kMostRecords) break;
        Text jobNumber = JobNumberOf(entry.name, kRecordSuffix);
        if (jobNumber.empty() || jobNumber == jobNumber_) continue;
        if (!DeliverOne(jobNumber, proxy)) break;
    }
}

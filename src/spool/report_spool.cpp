#include "platform/wide_string.h"
#include "spool/report_spool.h"

#include <algorithm>

#include "spool/last_error_kept.h"
#include "spool/record_file.h"
#include "spool/spool_folder.h"
#include "spool/spool_listing.h"
#include "status/status_settings.h"

ReportSpool::ReportSpool(LPCWSTR jobIdText, LPCWSTR drive) : jobNumber_(SpoolJobNumber(jobIdText)) {
    LastErrorKept lastError;
    if (jobNumber_.empty()) return;
    folder_ = OpenSpoolFolder(drive);
    if (folder_.empty()) return;
    locks_ = std::make_unique<JobLocks>(folder_);
    // Another worker sends one of the job's records for at most one attempt.
    claim_ = locks_->ClaimJob(jobNumber_, TransferLimitSeconds() * 1000u);
    if (!InUse()) return;
    // What earlier runs of the job left: its records, which this run's
    // supersede, and temporary files that a stopped write left behind.
    for (const WideString& name : ReadGenerations()) DeleteFileW(SpoolPath(folder_, name).c_str());
}

std::vector<WideString> ReportSpool::ReadGenerations() {
    std::vector<WideString> temporaries;
    generations_.clear();
    for (const SpoolEntry& entry : ListSpoolFiles(folder_, jobNumber_ + TEXT(".*"))) {
        if (entry.file.job != jobNumber_) continue;
        nextGeneration_ = std::max(nextGeneration_, entry.file.generation + 1);
        if (entry.file.kind == SpoolFileKind::Record)
            generations_.push_back(entry.file.generation);
        else if (entry.file.kind == SpoolFileKind::Temporary)
            temporaries.push_back(entry.name);
    }
    std::sort(generations_.begin(), generations_.end());
    return temporaries;
}

ReportSpool::~ReportSpool() {
    // Space that no write took: its file goes.
    if (reserved_) {
        reserved_.Reset();
        DeleteFileW(SpoolPath(folder_, TemporaryFileName(jobNumber_, reservedGeneration_)).c_str());
    }
}

bool ReportSpool::ReserveSpace() {
    if (!InUse() || (nextGeneration_ >= kLastGeneration && !NumberFromStart())) return false;
    // The write after the next one takes it: its generation is kept for it.
    const DWORD generation = nextGeneration_ + 1;
    const WideString name = TemporaryFileName(jobNumber_, generation);
    ScopedHandle file = MakeTemporaryFile(folder_, name);
    if (!file) return false;
    if (!ReserveRecordSpace(file.Get())) {
        file.Reset();
        DeleteFileW(SpoolPath(folder_, name).c_str());
        return false;
    }
    reserved_ = std::move(file);
    reservedGeneration_ = generation;
    return true;
}

bool ReportSpool::Write(const ReportRecord& record) {
    if (!InUse()) return false;
    const bool reserved = reserved_ && nextGeneration_ >= reservedGeneration_;
    if (!reserved && nextGeneration_ > kLastGeneration && !NumberFromStart()) return false;
    const std::string bytes = WriteReportRecord(record);
    if (bytes.empty()) return false;
    // A number is never used twice, so that a temporary file that could not
    // be removed does not stand in the way of the next write.
    const DWORD generation = reserved ? reservedGeneration_ : nextGeneration_;
    nextGeneration_ = std::max(nextGeneration_, generation + 1);
    if (!WriteFileDurably(folder_, TemporaryFileName(jobNumber_, generation), RecordFileName(jobNumber_, generation),
                          bytes, reserved ? std::move(reserved_) : ScopedHandle())) {
        // A step failed, yet its rename may be done (the folder's flush
        // after it failed): what the folder holds counts, so that a record
        // that may be on the disk is never left behind an acknowledgement.
        ReadGenerations();
        return false;
    }
    generations_.push_back(generation);
    written_ = true;
    RemoveOlderRecords();
    return true;
}

bool ReportSpool::Replace(const ReportRecord& record) {
    written_ = false;
    if (Write(record)) return true;
    Remove();
    return false;
}

bool ReportSpool::NumberFromStart() {
    if (!Remove()) return false;
    for (const WideString& name : ReadGenerations()) DeleteFileW(SpoolPath(folder_, name).c_str());
    // Flushed: a record of a higher number that a power loss brought back
    // would be taken for the job's newest.
    if (!FlushFolder(folder_)) return false;
    nextGeneration_ = 1;
    const bool temporariesLeft = !ReadGenerations().empty();
    return generations_.empty() && !temporariesLeft;
}

bool ReportSpool::Remove() {
    if (!InUse()) return true;
    const std::size_t deleted = DeleteInOrder(folder_, RecordNames(generations_.size()), true);
    generations_.erase(generations_.begin(), generations_.begin() + static_cast<std::ptrdiff_t>(deleted));
    return generations_.empty();
}

void ReportSpool::RemoveOlderRecords() {
    const std::size_t deleted = DeleteInOrder(folder_, RecordNames(generations_.size() - 1), false);
    generations_.erase(generations_.begin(), generations_.begin() + static_cast<std::ptrdiff_t>(deleted));
}

std::vector<WideString> ReportSpool::RecordNames(std::size_t count) const {
    std::vector<WideString> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back(RecordFileName(jobNumber_, generations_[i]));
    return names;
}

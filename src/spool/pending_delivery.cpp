#include "platform/wide_string.h"
#include "spool/pending_delivery.h"

#include <algorithm>
#include <map>

#include "joblog/job_log.h"
#include "platform/test_seams.h"
#include "spool/record_file.h"
#include "spool/spool_folder.h"
#include "spool/spool_listing.h"

namespace {

// One job's files, in the order they are removed: what was set aside and
// left over first, then its records from the lowest generation up.
struct JobFiles {
    WideString job;
    std::vector<SpoolEntry> files;
    // Its newest file's time, a time after now counted as now.
    std::time_t written = 0;

    // Its files; without those set aside when they are to stay.
    std::vector<WideString> Names(bool setAsideToo) const {
        std::vector<WideString> names;
        for (const SpoolEntry& entry : files)
            if (setAsideToo || entry.file.kind != SpoolFileKind::SetAside) names.push_back(entry.name);
        return names;
    }
    bool Holds(SpoolFileKind kind) const {
        return std::any_of(files.begin(), files.end(),
                           [kind](const SpoolEntry& entry) { return entry.file.kind == kind; });
    }
    // Removes the temporary files that a stopped write left; the records
    // are removed without them, so that one that stays does not hold them.
    void RemoveTemporaries(const WideString& folder) {
        for (const SpoolEntry& entry : files)
            if (entry.file.kind == SpoolFileKind::Temporary) DeleteFileW(SpoolPath(folder, entry.name).c_str());
        files.erase(std::remove_if(files.begin(), files.end(),
                                   [](const SpoolEntry& entry) { return entry.file.kind == SpoolFileKind::Temporary; }),
                    files.end());
    }
    std::vector<const SpoolEntry*> Records() const {
        std::vector<const SpoolEntry*> records;
        for (const SpoolEntry& entry : files)
            if (entry.file.kind == SpoolFileKind::Record) records.push_back(&entry);
        return records;
    }
};

int RemovalRank(SpoolFileKind kind) {
    return kind == SpoolFileKind::Record ? 1 : 0;
}

// Puts a job's files in the order they are removed.
void SortForRemoval(JobFiles& job) {
    std::sort(job.files.begin(), job.files.end(), [](const SpoolEntry& a, const SpoolEntry& b) {
        const int rankA = RemovalRank(a.file.kind), rankB = RemovalRank(b.file.kind);
        return rankA != rankB ? rankA < rankB : a.file.generation < b.file.generation;
    });
}

void AddFile(JobFiles& job, SpoolEntry&& entry, std::time_t now) {
    job.job = entry.file.job;
    job.written = std::max(job.written, std::min(entry.written, now));
    job.files.push_back(std::move(entry));
}

// Whether a was written before b (a time after now counted as now), by job
// and generation where the times are the same.
struct WrittenEarlier {
    std::time_t now;
    bool operator()(const SpoolEntry& a, const SpoolEntry& b) const {
        const std::time_t writtenA = std::min(a.written, now), writtenB = std::min(b.written, now);
        if (writtenA != writtenB) return writtenA < writtenB;
        const DWORD jobA = JobNumberValue(a.file.job), jobB = JobNumberValue(b.file.job);
        return jobA != jobB ? jobA < jobB : a.file.generation < b.file.generation;
    }
};

// Other jobs' files, oldest job first: of a folder of any size only the
// oldest kMostListed files are kept (the delivery sends from the oldest
// jobs, and the bound removes from them), with the count of all of them.
std::vector<JobFiles> OtherJobsOldestFirst(const WideString& folder, const WideString& ownJob, std::time_t now,
                                           std::size_t& total) {
    // A heap whose top is the newest file kept.
    const WrittenEarlier earlier{now};
    std::vector<SpoolEntry> oldest;
    total = 0;
    ForEachSpoolFile(folder, TEXT("*.xml*"), [&](SpoolEntry&& entry) {
        if (entry.file.job == ownJob) return;
        ++total;
        if (oldest.size() == SpoolBounds::kMostListed) {
            if (!earlier(entry, oldest.front())) return;
            std::pop_heap(oldest.begin(), oldest.end(), earlier);
            oldest.pop_back();
        }
        oldest.push_back(std::move(entry));
        std::push_heap(oldest.begin(), oldest.end(), earlier);
    });
    std::map<WideString, JobFiles> byJob;
    for (SpoolEntry& entry : oldest) AddFile(byJob[entry.file.job], std::move(entry), now);
    std::vector<JobFiles> jobs;
    for (auto& [number, job] : byJob) {
        SortForRemoval(job);
        jobs.push_back(std::move(job));
    }
    std::sort(jobs.begin(), jobs.end(), [](const JobFiles& a, const JobFiles& b) {
        return a.written != b.written ? a.written < b.written : JobNumberValue(a.job) < JobNumberValue(b.job);
    });
    return jobs;
}

// One job's files as the folder holds them now.
JobFiles JobFilesNow(const WideString& folder, const WideString& number, std::time_t now) {
    JobFiles job;
    job.job = number;
    for (SpoolEntry& entry : ListSpoolFiles(folder, number + TEXT(".*"))) {
        if (entry.file.job == number) AddFile(job, std::move(entry), now);
    }
    SortForRemoval(job);
    return job;
}

// Removes the oldest jobs' files until the bound holds, with room for the
// job's own record, trying at most kMostDeletions of them (some may not go:
// read-only, held by another program), so that a folder of any size costs
// a run the same; later runs go on. total counts all of the jobs' files.
std::vector<JobFiles> KeepWithinBound(const WideString& folder, std::vector<JobFiles> jobs, std::size_t total) {
    const std::size_t most = SpoolBounds::kMostFiles - 1;
    std::size_t attempts = 0;
    std::vector<JobFiles> kept;
    for (JobFiles& job : jobs) {
        if (total > most && attempts < SpoolBounds::kMostDeletions) {
            std::vector<WideString> names = job.Names(true);
            names.resize(std::min(names.size(), SpoolBounds::kMostDeletions - attempts));
            const std::size_t deleted = DeleteInOrder(folder, names, names.size() == job.files.size());
            // The one that stayed was tried too.
            attempts += std::min(names.size(), deleted + 1);
            total -= deleted;
            if (deleted == job.files.size()) continue;
            job.files.erase(job.files.begin(), job.files.begin() + static_cast<std::ptrdiff_t>(deleted));
        }
        kept.push_back(std::move(job));
    }
    return kept;
}

// A record that cannot be read is kept for support staff under another
// name, and with it the job's older records, which it supersedes.
void SetAside(const WideString& folder, const std::vector<const SpoolEntry*>& records) {
    for (const SpoolEntry* record : records) {
        SetAsideFile(folder, record->name);
        JobLog(LogType::Warning, TEXT("Record %s cannot be sent: set aside as %s"), record->name.c_str(),
               SetAsideFileName(record->name).c_str());
    }
}

// The request of the job's newest record, when it can be sent; a record that
// is not one is set aside.
std::optional<ReportRecord> ReadNewestRecord(const WideString& folder, const JobFiles& job) {
    const std::vector<const SpoolEntry*> records = job.Records();
    const SpoolEntry& newest = *records.back();
    std::string bytes;
    RecordRead read =
        IsPlainFile(newest) ? ReadRecordFile(SpoolPath(folder, newest.name), bytes) : RecordRead::NotARecord;
    if (read == RecordRead::Unavailable) return std::nullopt;
    std::optional<ReportRecord> record;
    if (read == RecordRead::Read) record = ReadReportRecord(bytes);
    // A record must belong to the job it is named after.
    if (!record || record->nJobID < 0 || JobNumberValue(job.job) != static_cast<DWORD>(record->nJobID)) {
        SetAside(folder, records);
        return std::nullopt;
    }
    return record;
}

// A record declined with a SOAP Fault counts it, written as the job's next
// generation; on the last refusal it is set aside instead.
void CountRefusal(const WideString& folder, const JobFiles& job, ReportRecord record) {
    const std::vector<const SpoolEntry*> records = job.Records();
    if (++record.refusals >= SpoolBounds::kMostRefusals) {
        SetAside(folder, records);
        return;
    }
    const DWORD generation = records.back()->file.generation + 1;
    const std::string bytes = WriteReportRecord(record);
    if (generation > kLastGeneration || bytes.empty() ||
        !WriteFileDurably(folder, TemporaryFileName(job.job, generation), RecordFileName(job.job, generation), bytes))
        return;
    DeleteInOrder(folder, job.Names(false), false);
}

// One delivery: the jobs' newest records, each sent once, within the
// bounds of a delivery.
class Delivery {
public:
    Delivery(const WideString& folder, JobLocks& locks, const SendPendingReport& send, std::time_t now)
        : folder_(folder),
          locks_(locks),
          send_(send),
          now_(now),
          oldest_(now - SpoolBounds::kMostDays * 24LL * 3600),
          deadline_(Seams().steadyMilliseconds() + SpoolBounds::kMostMilliseconds) {}

    // Whether the delivery may send another record.
    bool Goes() const {
        return !ended_ && sent_ < SpoolBounds::kMostSent && offered_ < SpoolBounds::kMostOffered &&
               Seams().steadyMilliseconds() < deadline_;
    }

    // Sends the job's newest record, unless the server declined it before
    // and refusedToo is false: false then, to be offered again later.
    bool Offer(const JobFiles& listed, bool refusedToo) {
        const WideString& folder = folder_;
        if (!listed.Holds(SpoolFileKind::Record) && !listed.Holds(SpoolFileKind::Temporary)) return true;
        // Holding the job's records keeps its own worker, and other
        // deliverers, away from them while they are sent.
        JobLocks::Borrowed lock(locks_, listed.job);
        if (!lock.Held()) return true;
        ++offered_;
        // The listing may be minutes old: what is sent is the job's newest
        // record now, which a run of the job may have written since.
        JobFiles job = JobFilesNow(folder, listed.job, now_);
        // No worker writes the job while its records are held: its
        // temporary files are what a killed run left.
        job.RemoveTemporaries(folder);
        if (job.Records().empty()) return true;
        std::optional<ReportRecord> record = ReadNewestRecord(folder, job);
        if (!record) return true;
        if (record->refusals > 0 && !refusedToo) return false;
        ns1__UpdateDeployJobStatus request;
        record->FillRequest(request);
        const AttemptResult result = send_(request);
        ++sent_;
        // The job's records up to the one sent; what a stopped write of it
        // left goes with them.
        if (result == AttemptResult::Acknowledged || job.written < oldest_)
            DeleteInOrder(folder, job.Names(false), true);
        else if (result == AttemptResult::Faulted)
            CountRefusal(folder, job, *record);
        // An error status answers for the whole server (its credentials,
        // its state) when several jobs in a row meet it; a Fault answers
        // for its record alone.
        refusedInRow_ = result == AttemptResult::Refused ? refusedInRow_ + 1 : 0;
        ended_ = result == AttemptResult::Unreachable || refusedInRow_ == SpoolBounds::kMostRefusedInRow;
        return true;
    }

private:
    const WideString& folder_;
    JobLocks& locks_;
    const SendPendingReport& send_;
    const std::time_t now_;
    const std::time_t oldest_;
    const long long deadline_;
    int sent_ = 0;
    int offered_ = 0;
    int refusedInRow_ = 0;
    bool ended_ = false;
};

}  // namespace

void TidyAndDeliver(ReportSpool& spool, const SendPendingReport* send) {
    if (!spool.InUse()) return;
    const std::time_t now = Seams().now();
    std::size_t total = 0;
    std::vector<JobFiles> listed = OtherJobsOldestFirst(spool.folder_, spool.jobNumber_, now, total);
    std::vector<JobFiles> jobs = KeepWithinBound(spool.folder_, std::move(listed), total);
    if (!send) return;
    Delivery delivery(spool.folder_, *spool.locks_, *send, now);
    // Records that the server never declined first: one it declines for
    // itself (a job deleted on its console) would otherwise come first in
    // every delivery.
    std::vector<const JobFiles*> refusedBefore;
    for (const JobFiles& job : jobs) {
        if (!delivery.Goes()) return;
        if (!delivery.Offer(job, false)) refusedBefore.push_back(&job);
    }
    for (const JobFiles* job : refusedBefore) {
        if (!delivery.Goes()) return;
        delivery.Offer(*job, true);
    }
}

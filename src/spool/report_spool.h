// The report spool: the folder <drive>:\ORV\PatchDeploy\Reports where each
// job keeps its status report until the server has acknowledged it, so that
// an outcome that could not be delivered (server unreachable, worker
// stopped, machine restarted) is delivered by a later job. This class holds
// one job's records; pending_delivery.h sends those of other jobs.
//
// Nothing here prints or throws for the disk: a spool that cannot be used
// leaves the job to run and report as it would without one.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/scoped_resource.h"
#include "platform/wide_string.h"
#include "spool/job_locks.h"
#include "spool/record_names.h"
#include "spool/report_record.h"
#include "status/attempt_result.h"

// One attempt to send a pending record's report.
using SendPendingReport = std::function<AttemptResult(ns1__UpdateDeployJobStatus&)>;

class ReportSpool {
public:
    // Opens the spool of the agent's install directory on drive for the job
    // jobIdText and claims the job. The spool stays unused when the job
    // identifier is not a plain decimal number, the folder cannot be used
    // (see OpenSpoolFolder), or another worker runs the job.
    ReportSpool(LPCWSTR jobIdText, LPCWSTR drive);

    // Removes the reserved space's file when no write took it.
    ~ReportSpool();
    ReportSpool(const ReportSpool&) = delete;
    ReportSpool& operator=(const ReportSpool&) = delete;

    bool InUse() const { return claim_ == JobLocks::Claim::Claimed; }
    // Another worker holds the job's run: this one must not run it.
    bool JobAlreadyRunning() const { return claim_ == JobLocks::Claim::AlreadyRunning; }

    // Sets the space of a record aside on the disk, as the temporary file
    // of the generation after the next: the write after the next one takes
    // it, so that a disk filled meanwhile cannot keep that write out. False
    // when the space cannot be had.
    bool ReserveSpace();

    // Writes record as the job's newest record, on the disk when this
    // returns true; older records of the job are then removed, oldest first.
    // False when it could not be written: the job's records stay as they
    // were, or, when the step that failed came after the rename, the record
    // is there as well and counts among them.
    bool Write(const ReportRecord& record);

    // Writes record, which changed, as the job's newest record: until it is
    // written the job's older records no longer stand for it, and when it
    // cannot be written they are removed. True when it was written.
    bool Replace(const ReportRecord& record);

    // Removes the job's records, oldest first, never the newest while an
    // older one remains. True when the job has none left.
    bool Remove();

    // The job's record has been written since it last changed: a failed
    // write after that (a count) leaves it standing with a count behind.
    bool RecordWritten() const { return written_; }
    // Only records older than the job's record, as it changed last, stand
    // for the job: neither written nor removed.
    bool HoldsOnlyOlderRecords() const { return !generations_.empty() && !written_; }

private:
    // The delivery of other jobs' records works in the same folder, passes
    // this job over, and borrows the others' locks from the same table.
    friend void TidyAndDeliver(ReportSpool& spool, const SendPendingReport* send);

    // Learns the job's records from the folder; returns the temporary files
    // of the job that it holds.
    std::vector<WideString> ReadGenerations();
    // The job's numbers are used up: once its records and temporary files
    // are gone from the disk, they start again at 1. False when some stay.
    bool NumberFromStart();
    // Removes the records below the newest that this job knows of.
    void RemoveOlderRecords();
    std::vector<WideString> RecordNames(std::size_t count) const;

    // The job's run: Claimed when the spool is in use; Failed too when the
    // job or the folder cannot be used.
    JobLocks::Claim claim_ = JobLocks::Claim::Failed;
    WideString folder_;
    WideString jobNumber_;
    std::unique_ptr<JobLocks> locks_;
    // The job's records on the disk, lowest generation first.
    std::vector<DWORD> generations_;
    DWORD nextGeneration_ = 1;
    bool written_ = false;
    // The file of ReserveSpace, and its generation.
    ScopedHandle reserved_;
    DWORD reservedGeneration_ = 0;
};

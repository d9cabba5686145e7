// The report spool: the folder <drive>:\ORV\PatchDeploy\Reports where each
// job keeps its status report until the server has acknowledged it, so that
// an outcome that could not be delivered (server unreachable, worker
// stopped, machine restarted) is delivered by a later job. This class holds
// one job's records; pending_delivery.h sends those of other jobs.
//
// Nothing here prints or throws for the disk: a spool that cannot be used
// leaves the job to run and report as it would without one.
#pragma once

#include <memory>
#include <vector>

#include "platform/scoped_resource.h"
#include "platform/wide_string.h"
#include "spool/job_locks.h"
#include "spool/record_names.h"
#include "spool/report_record.h"

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

    bool InUse() const { return inUse_; }
    // Another worker holds the job's run: this one must not run it.
    bool JobAlreadyRunning() const { return alreadyRunning_; }

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

    // Removes the job's records, oldest first, never the newest while an
    // older one remains. True when the job has none left.
    bool Remove();

    // For the delivery of other jobs' records.
    const WideString& Folder() const { return folder_; }
    const WideString& JobNumber() const { return jobNumber_; }
    JobLocks& Locks() { return *locks_; }

private:
    // Learns the job's records from the folder; returns the temporary files
    // of the job that it holds.
    std::vector<WideString> ReadGenerations();
    // The job's numbers are used up: once its records and temporary files
    // are gone from the disk, they start again at 1. False when some stay.
    bool NumberFromStart();
    // Removes the records below the newest that this job knows of.
    void RemoveOlderRecords();
    std::vector<WideString> RecordNames(std::size_t count) const;

    bool inUse_ = false;
    bool alreadyRunning_ = false;
    WideString folder_;
    WideString jobNumber_;
    std::unique_ptr<JobLocks> locks_;
    // The job's records on the disk, lowest generation first.
    std::vector<DWORD> generations_;
    DWORD nextGeneration_ = 1;
    // The file of ReserveSpace, and its generation.
    ScopedHandle reserved_;
    DWORD reservedGeneration_ = 0;
};

// The report spool: the folder <drive>:\ORV\PatchDeploy\Reports where each
// job keeps its status report until the server has acknowledged it, so that
// an outcome that could not be delivered (server unreachable, worker killed,
// machine restarted) is delivered by a later job.
//
//   <job>.xml      the record (see status/report_record.h)
//   <job>.xml.tmp  a record being written over the job's record, which it replaces when whole
//   <job>.xml.bad  a record that could not be read, kept for support staff
//   jobs.lock      the byte at <job> is locked by the process that runs the job
//
// Nothing here prints or throws: a spool that cannot be used leaves the job
// to run and report as it would without one.
#pragma once

#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/scoped_resource.h"
#include "status/report_record.h"

class veltwuaPortBindingProxy;

class ReportSpool {
public:
    // Bounds: the oldest records go first beyond these.
    static constexpr int kMostRecords = 1000;
    static constexpr int kMostDays = 30;

    // Opens the spool of the agent's install directory on drive (one letter)
    // for the job jobIdText and takes the job's lock. The spool stays unused
    // when the drive is not a letter, the job identifier is not a plain
    // decimal number, the install directory is missing, the folder cannot be
    // written, or another process holds the job's lock.
    ReportSpool(LPCWSTR jobIdText, LPCWSTR drive);

    bool InUse() const { return inUse_; }

    // Replaces the job's record with this one in one step: a process that
    // ends, however it ends, leaves the previous record or this one, never a
    // mix (a first record, which replaces nothing, and a record that is not
    // yet on the disk are written in place). The record is in the system's
    // cache then, not yet on the disk (see MakeDurable). When the write
    // fails the previous record is deleted, so that no outdated report is
    // ever delivered.
    void Write(const ReportRecord& record);

    // Waits until the job's record, as last written, is on the disk (its
    // data and its name in the folder), so that a power loss keeps it too.
    // Does nothing when the record has not changed since the last flush or
    // is gone. May be called from another thread than the job's.
    void MakeDurable();

    // Deletes the job's record (its report was acknowledged).
    void Remove();

    // Removes the records of other jobs that lie beyond the bounds, and
    // notes whether any are left to deliver. Runs once, on whichever thread
    // calls it first (the job's own record is never touched, so the job need
    // not wait for it); a call while it runs waits for it.
    void RemoveBeyondBounds();

    // Sends the records of other jobs whose lock is free through proxy, one
    // attempt each, oldest first; deletes each acknowledged one and stops at
    // the first failure. Only a job that found such records when it removed
    // those beyond the bounds sends them.
    void DeliverPending(veltwuaPortBindingProxy& proxy);

private:
    using Text = std::basic_string<WCHAR>;

    Text PathOf(const Text& name) const;
    void RemoveBeyondBoundsOnce();
    // The size of the job's record file once bytes are written to it; 0
    // when the write failed.
    std::size_t WriteRecordFile(const Text& name, const std::string& bytes);
    // False only when a send failed; a record that is locked, gone or
    // unreadable is passed over.
    bool DeliverOne(const Text& jobNumber, veltwuaPortBindingProxy& proxy);
    void SetAside(const Text& recordName);

    bool inUse_ = false;
    // The job's record is written, flushed and deleted by the job's thread
    // and by the thread that flushes it later, one at a time.
    std::mutex recordGuard_;
    // The size in bytes of the job's record as this job last wrote it (with
    // what pads a record rewritten in place); 0 while it wrote none.
    std::size_t recordSize_ = 0;
    bool unflushed_ = false;
    // Whether a flush was made since the record was made: it is replaced
    // in one step from then on, so that a power loss keeps what is flushed.
    bool flushed_ = false;
    // Whether records of other jobs lay in the folder once those beyond the
    // bounds were removed.
    std::once_flag removedBeyondBounds_;
    bool othersPending_ = false;
    Text folder_;
    Text jobNumber_;
    // Holds this job's lock, and for a moment those of the records it sends.
    ScopedHandle lockFile_;
};

// The job number's canonical text when jobIdText is a plain decimal number
// (digits only, no sign or spaces, within the range of nJobID); empty
// otherwise.
std::basic_string<WCHAR> SpoolJobNumber(LPCWSTR jobIdText);

// The spool's lock file, jobs.lock, shared by every worker's process: it is
// never deleted, so that all of them lock bytes of one and the same file.
// Each job has two bytes in it, locked by the system's byte-range locks,
// which end with the handle, so also when the process ends however it ends:
//
//   <job>            its records: held by the worker that runs the job for
//                    its whole run, and by another worker for a moment while
//                    it sends one of the job's records (as earlier workers
//                    hold it for both)
//   <job> + 2^31     the job's run: held only by the worker that runs it
#pragma once

#include "platform/scoped_resource.h"
#include "platform/wide_string.h"
#include "spool/record_names.h"

class JobLocks {
public:
    // Opens the lock file of folder (never through a link); when it cannot
    // be opened, every claim fails.
    explicit JobLocks(const WideString& folder);

    enum class Claim { Claimed, AlreadyRunning, Failed };
    // Takes the job's run without waiting (AlreadyRunning when another
    // worker runs the job), then its records, waiting while another worker
    // sends one of them, for at most waitMilliseconds: records held longer
    // belong to a worker that runs the job (an earlier worker holds them for
    // its whole run), and the claim lets the run go and is AlreadyRunning.
    Claim ClaimJob(const WideString& job, DWORD waitMilliseconds);

    // Another job's records, taken without waiting and held while this lives.
    class Borrowed {
    public:
        Borrowed(JobLocks& locks, const WideString& job);
        ~Borrowed();
        Borrowed(const Borrowed&) = delete;
        Borrowed& operator=(const Borrowed&) = delete;
        bool Held() const { return held_; }

    private:
        HANDLE file_;
        OVERLAPPED position_;
        bool held_;
    };

private:
    ScopedHandle file_;
};

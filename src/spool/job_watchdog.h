// The deployment job's time limit: a companion thread that, when the limit
// passes before the job has its outcome, runs the given action on that
// thread (which ends the process), so that an update-agent call that never
// returns no longer holds the job for ever.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/platform.h"

class JobWatchdog {
public:
    // Starts the thread. Without a thread (the system refused one) the job
    // runs without a limit.
    JobWatchdog(DWORD limitMilliseconds, std::function<void()> onLimit);
    // Ends the thread at once.
    ~JobWatchdog();

    JobWatchdog(const JobWatchdog&) = delete;
    JobWatchdog& operator=(const JobWatchdog&) = delete;

    // The job has its outcome: the time limit ends at once. When the limit
    // has already passed, the action owns the job's end and this call does
    // not return, as the action ends the process.
    void StopTimeLimit();

private:
    void Run(DWORD limitMilliseconds);

    enum class Limit { Running, Stopped, Expired };
    std::mutex lock_;
    std::condition_variable changed_;
    Limit limit_ = Limit::Running;
    std::function<void()> onLimit_;
    std::thread thread_;
};

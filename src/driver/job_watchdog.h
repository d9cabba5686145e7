// The deployment job's companion thread. It first does the job's housekeeping
// that the job need not wait for. It keeps the job's time limit: when
// the limit passes before the job has its outcome, it runs the given action
// on that thread (which ends the process), so that an update-agent call that
// never returns no longer holds the job for ever. And it flushes the job's
// report record to the disk a short while after it was written, so that the
// job itself never waits for the disk.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/platform.h"

class JobWatchdog {
public:
    // Starts the thread, which runs onStart before anything else. Without a
    // thread (the system refused one) onStart runs here, the job runs without
    // a limit, and FlushWithin leaves the flush to the caller.
    JobWatchdog(DWORD limitMilliseconds, std::function<void()> onStart, std::function<void()> onLimit,
                std::function<void()> onFlush);
    // Ends the thread at once; only onStart or a flush under way is waited for.
    ~JobWatchdog();

    JobWatchdog(const JobWatchdog&) = delete;
    JobWatchdog& operator=(const JobWatchdog&) = delete;

    // The job has its outcome: the time limit ends at once, while flushes go
    // on. When the limit has already passed, the action owns the job's end
    // and this call does not return, as the action ends the process.
    void StopTimeLimit();

    // Runs onFlush on the thread within milliseconds from now (a flush that
    // is already due earlier keeps its time and covers this request). False
    // when there is no thread to do it.
    bool FlushWithin(DWORD milliseconds);

private:
    using Clock = std::chrono::steady_clock;
    void Run(Clock::time_point limitAt, const std::function<void()>& onStart);

    enum class Limit { Running, Stopped, Expired };
    std::mutex lock_;
    std::condition_variable changed_;
    Limit limit_ = Limit::Running;
    bool ended_ = false;
    std::optional<Clock::time_point> flushAt_;
    std::function<void()> onLimit_;
    std::function<void()> onFlush_;
    std::thread thread_;
};

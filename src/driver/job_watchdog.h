// A time limit for the deployment job: a thread that waits for the job and,
// when the limit passes first, runs the given action on that thread (which
// ends the process). An update-agent call that never returns then no longer
// holds the job for ever.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/platform.h"

class JobWatchdog {
public:
    // Starts waiting. Without a thread (the system refused one) the job runs
    // without a limit.
    JobWatchdog(DWORD limitMilliseconds, std::function<void()> onLimit);
    // Stops the watchdog.
    ~JobWatchdog();

    JobWatchdog(const JobWatchdog&) = delete;
    JobWatchdog& operator=(const JobWatchdog&) = delete;

    // Called when the job has ended: the watchdog ends at once. When the
    // limit has already passed, the action owns the job's end and this call
    // does not return, as the action ends the process.
    void Stop();

private:
    void Watch(DWORD limitMilliseconds);

    enum class State { Waiting, Stopped, Expired };
    std::mutex lock_;
    std::condition_variable changed_;
    State state_ = State::Waiting;
    std::function<void()> onLimit_;
    std::thread thread_;
};

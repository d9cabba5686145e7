#include "driver/job_watchdog.h"

#include <chrono>
#include <system_error>

JobWatchdog::JobWatchdog(DWORD limitMilliseconds, std::function<void()> onLimit) : onLimit_(std::move(onLimit)) {
    try {
        thread_ = std::thread(&JobWatchdog::Watch, this, limitMilliseconds);
    } catch (const std::system_error&) {
        state_ = State::Stopped;
    }
}

JobWatchdog::~JobWatchdog() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

void JobWatchdog::Watch(DWORD limitMilliseconds) {
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (changed_.wait_for(guard, std::chrono::milliseconds(limitMilliseconds),
                              [this] { return state_ != State::Waiting; }))
            return;
        state_ = State::Expired;
    }
    onLimit_();
}

void JobWatchdog::Stop() {
    std::unique_lock<std::mutex> guard(lock_);
    if (state_ == State::Waiting) {
        state_ = State::Stopped;
        changed_.notify_all();
        return;
    }
    // Expired: the action ends the process; nothing may follow it here.
    changed_.wait(guard, [this] { return state_ == State::Stopped; });
}

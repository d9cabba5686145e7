#include "driver/job_watchdog.h"

#include <system_error>

JobWatchdog::JobWatchdog(DWORD limitMilliseconds, std::function<void()> onStart, std::function<void()> onLimit,
                         std::function<void()> onFlush)
    : onLimit_(std::move(onLimit)), onFlush_(std::move(onFlush)) {
    try {
        thread_ =
            std::thread(&JobWatchdog::Run, this, Clock::now() + std::chrono::milliseconds(limitMilliseconds), onStart);
    } catch (const std::system_error&) {
        limit_ = Limit::Stopped;
        onStart();
    }
}

JobWatchdog::~JobWatchdog() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ended_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void JobWatchdog::Run(Clock::time_point limitAt, const std::function<void()>& onStart) {
    onStart();
    std::unique_lock<std::mutex> guard(lock_);
    while (!ended_) {
        const Clock::time_point now = Clock::now();
        if (limit_ == Limit::Running && now >= limitAt) {
            limit_ = Limit::Expired;
            guard.unlock();
            onLimit_();
            return;
        }
        if (flushAt_ && now >= *flushAt_) {
            flushAt_.reset();
            guard.unlock();
            onFlush_();
            guard.lock();
            continue;
        }
        std::optional<Clock::time_point> wake = flushAt_;
        if (limit_ == Limit::Running && (!wake || limitAt < *wake)) wake = limitAt;
        if (wake)
            changed_.wait_until(guard, *wake);
        else
            changed_.wait(guard);
    }
}

void JobWatchdog::StopTimeLimit() {
    std::unique_lock<std::mutex> guard(lock_);
    if (limit_ == Limit::Running) {
        limit_ = Limit::Stopped;
        changed_.notify_all();
        return;
    }
    // Expired: the action ends the process; nothing may follow it here.
    changed_.wait(guard, [this] { return limit_ == Limit::Stopped; });
}

bool JobWatchdog::FlushWithin(DWORD milliseconds) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!thread_.joinable()) return false;
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(milliseconds);
    if (!flushAt_ || due < *flushAt_) {
        flushAt_ = due;
        changed_.notify_all();
    }
    return true;
}

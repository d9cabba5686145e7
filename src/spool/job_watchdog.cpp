#include "spool/job_watchdog.h"

#include <chrono>
#include <system_error>

JobWatchdog::JobWatchdog(DWORD limitMilliseconds, std::function<void()> onLimit) : onLimit_(std::move(onLimit)) {
    try {
        thread_ = std::thread(&JobWatchdog::Run, this, limitMilliseconds);
    } catch (const std::system_error&) {
        limit_ = Limit::Stopped;
    }
}

JobWatchdog::~JobWatchdog() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (limit_ == Limit::Running) limit_ = Limit::Stopped;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void JobWatchdog::Run(DWORD limitMilliseconds) {
    std::unique_lock<std::mutex> guard(lock_);
    const auto limitAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMilliseconds);
    if (changed_.wait_until(guard, limitAt, [this] { return limit_ != Limit::Running; })) return;
    limit_ = Limit::Expired;
    guard.unlock();
    onLimit_();
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

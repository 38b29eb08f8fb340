#include "common/app/hang_watchdog.h"

#include <algorithm>
#include <chrono>

int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

HangWatchdog::HangWatchdog(int64_t limitMs, int64_t checkMs, std::function<void(uint64_t)> onHang)
    : limitMs_(limitMs), checkMs_(checkMs), onHang_(std::move(onHang)), lastBeatMs_(monotonicMs()) {
    thread_ = std::thread(&HangWatchdog::watch, this);
}

HangWatchdog::~HangWatchdog() {
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stop_ = true;
    }
    stopSignal_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void HangWatchdog::beat(uint64_t frame) {
    lastFrame_.store(frame, std::memory_order_relaxed);
    lastBeatMs_.store(monotonicMs(), std::memory_order_relaxed);
}

void HangWatchdog::watch() {
    // Silence is counted check by check rather than read off the clock, so that time in which
    // the whole process stood still (stopped by Ctrl+Z, SIGSTOP or a debugger) does
    // not count as a frame that hangs: a check that comes much later than asked counts for a
    // little over one interval only.
    const int64_t longestStepMs = 2 * checkMs_ + 1000;
    int64_t lastCheckMs = monotonicMs();
    int64_t seenBeatMs = lastBeatMs_.load(std::memory_order_relaxed);
    int64_t silentMs = 0;
    std::unique_lock<std::mutex> lock(stopMutex_);
    while (!stop_) {
        if (stopSignal_.wait_for(lock, std::chrono::milliseconds(checkMs_), [this] { return stop_; })) return;
        const int64_t now = monotonicMs();
        const int64_t step = std::min(now - lastCheckMs, longestStepMs);
        lastCheckMs = now;
        const int64_t beatMs = lastBeatMs_.load(std::memory_order_relaxed);
        if (beatMs != seenBeatMs) {
            seenBeatMs = beatMs;
            silentMs = std::min(now - beatMs, step);
        } else {
            silentMs += step;
        }
        if (silentMs > limitMs_) {
            lock.unlock();
            onHang_(lastFrame_.load(std::memory_order_relaxed));
            return;
        }
    }
}

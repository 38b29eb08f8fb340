#include "common/app/hang_watchdog.h"

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
    std::unique_lock<std::mutex> lock(stopMutex_);
    while (!stop_) {
        if (stopSignal_.wait_for(lock, std::chrono::milliseconds(checkMs_), [this] { return stop_; })) return;
        if (monotonicMs() - lastBeatMs_.load(std::memory_order_relaxed) > limitMs_) {
            lock.unlock();
            onHang_(lastFrame_.load(std::memory_order_relaxed));
            return;
        }
    }
}

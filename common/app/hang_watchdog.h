#pragma once
// A watchdog for unattended runs (--script, --frames): when no frame has finished for a while,
// something is stuck (the window system, the renderer, a lock), and a run nobody watches would
// otherwise sit silent until an outside time-out kills it without a word. The watchdog says so
// on stderr, with the last frame reached, and ends the process.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class HangWatchdog {
public:
    // Calls onHang (from the watchdog's thread) once no beat has come for limitMs; it checks
    // every checkMs. Time in which the process was stopped (Ctrl+Z, a debugger) does not
    // count. onHang is expected to end the process; if it returns, the watch stops.
    HangWatchdog(int64_t limitMs, int64_t checkMs, std::function<void(uint64_t lastFrame)> onHang);
    ~HangWatchdog();
    HangWatchdog(const HangWatchdog&) = delete;
    HangWatchdog& operator=(const HangWatchdog&) = delete;

    // A frame finished; no allocation, no lock.
    void beat(uint64_t frame);

private:
    void watch();

    const int64_t limitMs_;
    const int64_t checkMs_;
    std::function<void(uint64_t)> onHang_;
    std::atomic<int64_t> lastBeatMs_;
    std::atomic<uint64_t> lastFrame_{0};
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stop_ = false;  // under stopMutex_
    std::thread thread_;
};

// Milliseconds of a monotonic clock.
int64_t monotonicMs();

#include "common/app/hang_watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

TEST(HangWatchdog, FiresOnceBeatsStopAndNotWhileTheyCome) {
    std::atomic<int> fired{0};
    std::atomic<uint64_t> reported{0};
    {
        // The limit is far above the beats' spacing, so that a loaded machine (sanitizer
        // builds running beside each other) cannot stall the beats long enough to fire it.
        HangWatchdog dog(1500, 10, [&](uint64_t frame) {
            reported = frame;
            ++fired;
        });
        // Beats every 20 ms for 1.2 s, well past the limit in total: no alarm.
        int64_t quietSince = 0;
        for (uint64_t frame = 1; frame <= 60; ++frame) {
            dog.beat(frame);
            quietSince = monotonicMs();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(fired.load(), 0);
        // Then silence: the alarm names the last frame, once.
        while (fired.load() == 0 && monotonicMs() - quietSince < 5000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GE(monotonicMs() - quietSince, 1500);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(fired.load(), 1);
    EXPECT_EQ(reported.load(), 60u);
}

TEST(HangWatchdog, StopsPromptlyWhenDestroyed) {
    std::atomic<int> fired{0};
    const int64_t start = monotonicMs();
    { HangWatchdog dog(60000, 10000, [&](uint64_t) { ++fired; }); }  // a long check interval
    EXPECT_LT(monotonicMs() - start, 1000);
    EXPECT_EQ(fired.load(), 0);
}

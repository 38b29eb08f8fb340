#include "common/app/hang_watchdog.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(HangWatchdog, ATimeTheProcessWasStoppedIsNoHang) {
    // A child beats once per byte its parent sends; the parent stops it (as Ctrl+Z does) for
    // longer than the limit, lets it go on, and then sends the rest.
    int feed[2];
    ASSERT_EQ(pipe(feed), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(feed[1]);
        HangWatchdog dog(2500, 20, [](uint64_t) { _exit(3); });
        char byte;
        uint64_t frame = 0;
        while (read(feed[0], &byte, 1) == 1) dog.beat(++frame);
        _exit(0);
    }
    close(feed[0]);
    // A child that gave up has closed the pipe: writing then must fail, not end this process.
    void (*oldPipeHandler)(int) = signal(SIGPIPE, SIG_IGN);
    auto sendBeats = [&](int count) {
        for (int i = 0; i < count && write(feed[1], "b", 1) == 1; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    sendBeats(10);
    ASSERT_EQ(kill(child, SIGSTOP), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    ASSERT_EQ(kill(child, SIGCONT), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the watchdog looks again first
    sendBeats(10);
    close(feed[1]);
    signal(SIGPIPE, oldPipeHandler);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the stopped time was taken for a hang";
}

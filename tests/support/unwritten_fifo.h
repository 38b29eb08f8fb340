#pragma once
// A FIFO that nobody writes to, for checking that a reader refuses it rather than blocking in
// its open for ever.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <utility>

struct UnwrittenFifo {
    explicit UnwrittenFifo(std::string where) : path(std::move(where)) {
        std::remove(path.c_str());
        made = ::mkfifo(path.c_str(), 0600) == 0;
    }
    ~UnwrittenFifo() { std::remove(path.c_str()); }
    UnwrittenFifo(const UnwrittenFifo&) = delete;
    UnwrittenFifo& operator=(const UnwrittenFifo&) = delete;

    std::string path;
    bool made = false;
};

// Runs `open` on another thread and stores its result in `opened`. An open still running after
// 10 s is blocked in the FIFO's open: opening the FIFO for writing lets it return, and the check
// fails.
inline ::testing::AssertionResult returnsWithoutBlocking(const UnwrittenFifo& fifo, const std::function<bool()>& open,
                                                         bool& opened) {
    auto attempt = std::async(std::launch::async, open);
    if (attempt.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int release = ::open(fifo.path.c_str(), O_WRONLY | O_NONBLOCK);
        if (release >= 0) ::close(release);
        attempt.get();
        return ::testing::AssertionFailure() << "the open blocked";
    }
    opened = attempt.get();
    return ::testing::AssertionSuccess();
}

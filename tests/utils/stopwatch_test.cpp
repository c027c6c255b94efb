#include "utils/stopwatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(Stopwatch, ZeroUntilStarted) {
    const Utils::Stopwatch stopwatch;
    EXPECT_EQ(stopwatch.elapsedSeconds(), 0.0f);
}

TEST(Stopwatch, MeasuresARealPauseInSeconds) {
    Utils::Stopwatch stopwatch;
    stopwatch.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const float elapsed = stopwatch.elapsedSeconds();
    EXPECT_GE(elapsed, 0.2f);
    EXPECT_LT(elapsed, 2.0f);
}

}  // namespace

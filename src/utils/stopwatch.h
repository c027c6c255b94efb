#pragma once

#include <cstdint>

namespace Utils {

// Elapsed time on the tick count, for the durations reported with analytics tasks.
class Stopwatch {
public:
    void start();
    // Seconds since start(); 0 when it was never started.
    float elapsedSeconds() const;

private:
    std::uint32_t startTick_ = 0;
    bool started_ = false;
};

}  // namespace Utils

#include "utils/stopwatch.h"

#include "platform/clock.h"

namespace Utils {

void Stopwatch::start() {
    startTick_ = platform::tickCountMs();
    started_ = true;
}

float Stopwatch::elapsedSeconds() const {
    if (!started_) {
        return 0.0f;
    }
    // Unsigned subtraction stays right across the 49.7-day wrap of the tick count.
    const std::uint32_t elapsedMs = platform::tickCountMs() - startTick_;
    return static_cast<float>(elapsedMs) / 1000.0f;
}

}  // namespace Utils

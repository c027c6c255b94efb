#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace test_support {

// Polls until the condition holds or the limit has passed; false when it never held. For what
// another process or thread does on its own time (a file appears, a child ends).
inline bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done,
                      std::chrono::milliseconds pollPeriod = std::chrono::milliseconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(pollPeriod);
    }
    return true;
}

}  // namespace test_support

#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

LocalTime localTimeNow();

// Milliseconds since boot, sleep included, truncated to 32 bits: it wraps after 49.7 days
// exactly like the Windows tick count the installer's timings are written against.
std::uint32_t tickCountMs();

}  // namespace platform

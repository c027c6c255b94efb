#include "platform/clock.h"

#include <time.h>

namespace platform {

namespace {

constexpr long kNsPerMs = 1'000'000;
constexpr std::uint64_t kMsPerSec = 1'000;
constexpr int kFirstTmYear = 1900;

}  // namespace

LocalTime localTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    LocalTime result;
    result.year = parts.tm_year + kFirstTmYear;
    result.month = parts.tm_mon + 1;
    result.day = parts.tm_mday;
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    result.second = parts.tm_sec;
    result.millisecond = static_cast<int>(now.tv_nsec / kNsPerMs);
    return result;
}

std::uint32_t tickCountMs() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * kMsPerSec +
                             static_cast<std::uint64_t>(now.tv_nsec / kNsPerMs);
    return static_cast<std::uint32_t>(ms);
}

}  // namespace platform

#include "platform/clock.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "support/scoped_time_zone.h"

namespace {

using test_support::ScopedTimeZone;

TEST(LocalTimeNow, GivesWallClockInTheLocalZone) {
    struct Case {
        const char* zone;
        long offsetSec;
    };
    const Case cases[] = {{"UTC0", 0}, {"<+0530>-5:30", 19800}, {"<-03>3", -10800}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        time_t before = 0;
        time_t after = 0;
        platform::LocalTime now;
        do {
            before = time(nullptr);
            now = platform::localTimeNow();
            after = time(nullptr);
        } while (before != after);
        const time_t shifted = before + c.offsetSec;
        tm expected{};
        gmtime_r(&shifted, &expected);
        EXPECT_EQ(now.year, expected.tm_year + 1900);
        EXPECT_EQ(now.month, expected.tm_mon + 1);
        EXPECT_EQ(now.day, expected.tm_mday);
        EXPECT_EQ(now.hour, expected.tm_hour);
        EXPECT_EQ(now.minute, expected.tm_min);
        EXPECT_EQ(now.second, expected.tm_sec);
    }
}

TEST(LocalTimeNow, MillisecondsComeFromTheRealtimeClock) {
    // Retried until both reads fall into one millisecond, which nearly always happens at once.
    for (;;) {
        timespec before{};
        timespec after{};
        clock_gettime(CLOCK_REALTIME, &before);
        const platform::LocalTime now = platform::localTimeNow();
        clock_gettime(CLOCK_REALTIME, &after);
        if (before.tv_sec == after.tv_sec && before.tv_nsec / 1000000 == after.tv_nsec / 1000000) {
            EXPECT_EQ(now.millisecond, before.tv_nsec / 1000000);
            return;
        }
    }
}

TEST(TickCountMs, CountsMillisecondsSinceBootAndWraps) {
    // /proc/uptime is the boot-time clock in seconds, sleep included.
    std::ifstream uptime("/proc/uptime");
    double uptimeSec = 0;
    ASSERT_TRUE(uptime >> uptimeSec);
    const std::uint32_t tick = platform::tickCountMs();
    const auto expected =
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(uptimeSec * 1000.0));
    // Unsigned difference, so that a wrap between the two reads still compares right.
    EXPECT_LT(static_cast<std::uint32_t>(tick - expected), 1000u);

    const timespec pause{0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    const std::uint32_t elapsedMs = platform::tickCountMs() - tick;
    EXPECT_GE(elapsedMs, 50u);
    EXPECT_LT(elapsedMs, 1000u);
}

}  // namespace

#include "platform/guid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <tuple>

namespace {

TEST(NewGuid, IsRandomVersion4WithRfc4122Variant) {
    constexpr int kCount = 2000;
    std::set<std::tuple<std::uint32_t, std::uint16_t, std::uint16_t, std::uint64_t>> seen;
    // Bits seen set and seen clear over all GUIDs: every bit that is not fixed must vary.
    platform::Guid anySet;
    platform::Guid allSet;
    allSet.data1 = ~0u;
    allSet.data2 = 0xFFFF;
    allSet.data3 = 0xFFFF;
    allSet.data4.fill(0xFF);
    for (int i = 0; i < kCount; ++i) {
        platform::Guid guid;
        ASSERT_TRUE(platform::newGuid(guid));
        EXPECT_EQ(guid.data3 >> 12, 4) << "version";
        EXPECT_EQ(guid.data4[0] >> 6, 2) << "variant";
        std::uint64_t tail = 0;
        for (int b = 0; b < 8; ++b) {
            tail = tail << 8 | guid.data4[b];
            anySet.data4[b] |= guid.data4[b];
            allSet.data4[b] &= guid.data4[b];
        }
        seen.emplace(guid.data1, guid.data2, guid.data3, tail);
        anySet.data1 |= guid.data1;
        allSet.data1 &= guid.data1;
        anySet.data2 |= guid.data2;
        allSet.data2 &= guid.data2;
        anySet.data3 |= guid.data3;
        allSet.data3 &= guid.data3;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(anySet.data1, ~0u);
    EXPECT_EQ(allSet.data1, 0u);
    EXPECT_EQ(anySet.data2, 0xFFFF);
    EXPECT_EQ(allSet.data2, 0);
    EXPECT_EQ(anySet.data3, 0x4FFF);
    EXPECT_EQ(allSet.data3, 0x4000);
    EXPECT_EQ(anySet.data4[0], 0xBF);
    EXPECT_EQ(allSet.data4[0], 0x80);
    for (int b = 1; b < 8; ++b) {
        EXPECT_EQ(anySet.data4[b], 0xFF) << b;
        EXPECT_EQ(allSet.data4[b], 0) << b;
    }
}

}  // namespace

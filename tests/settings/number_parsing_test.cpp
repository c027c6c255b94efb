#include "settings/number_parsing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace settings {
namespace {

TEST(NumberParsing, LeadingInt32) {
    const struct {
        const wchar_t* text;
        std::optional<std::int32_t> expected;
    } cases[] = {
        {L"42", 42},
        {L" \t-7 apples", -7},
        {L"+3", 3},
        {L"2147483647", 2147483647},
        {L"2147483648", 2147483647},
        {L"-2147483649", -2147483647 - 1},
        {L"123456789012345678901234567890", 2147483647},
        {L"0x10", 0},
        {L"", std::nullopt},
        {L"-", std::nullopt},
        {L"abc", std::nullopt},
        {L"\x0663", std::nullopt},  // digits of other scripts are not numbers here
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseLeadingInt32(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(NumberParsing, LeadingDouble) {
    constexpr double kMax = std::numeric_limits<double>::max();
    const struct {
        const wchar_t* text;
        std::optional<double> expected;
    } cases[] = {
        {L"0.7", 0.7},         {L"  .5x", 0.5},           {L"-2.5e1", -25.0}, {L"1e999", kMax},
        {L"-1e999", -kMax},    {L"1e-999", 0.0},          {L"0,5", 0.0},      {L"", std::nullopt},
        {L"x1", std::nullopt}, {L"\x4e00", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseLeadingDouble(c.text), c.expected) << '"' << c.text << '"';
    }
    EXPECT_TRUE(std::isnan(*parseLeadingDouble(L"nan")));
}

}  // namespace
}  // namespace settings

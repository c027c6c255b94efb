#include "usage/json_writer.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include "support/scoped_time_zone.h"
#include "usage/properties_node.h"

namespace {

using namespace std::string_literals;
using usage_analytics::toJson;
using usage_analytics::ValueNode;

// The C++ global locale with a decimal comma and digit grouping, as a toolkit or a library
// could leave it; no such named locale is installed here.
class CommaNumbers : public std::numpunct<char> {
public:
    CommaNumbers() : std::numpunct<char>(1) {}  // owned here, not by the locale

protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class ScopedGlobalLocale {
public:
    explicit ScopedGlobalLocale(const std::locale& locale) : old_(std::locale::global(locale)) {}
    ~ScopedGlobalLocale() { std::locale::global(old_); }
    ScopedGlobalLocale(const ScopedGlobalLocale&) = delete;
    ScopedGlobalLocale& operator=(const ScopedGlobalLocale&) = delete;

private:
    std::locale old_;
};

using test_support::ScopedTimeZone;

TEST(JsonWriter, WritesNumbersAsADefaultClassicStream) {
    struct Case {
        const char* name;
        double value;
        std::string expected;
    };
    const Case cases[] = {
        {"fraction", 0.5, "0.5"},
        {"two decimals", 12.25, "12.25"},
        {"six significant digits", 1234567.0, "1.23457e+06"},
        {"six digits stay whole", 123456.0, "123456"},
        {"zero", 0.0, "0"},
        {"negative zero", -0.0, "-0"},
        {"large", 1e21, "1e+21"},
        {"small", 1e-7, "1e-07"},
        // Not JSON; no caller of ours produces them (the collector would refuse the batch).
        {"infinity", std::numeric_limits<double>::infinity(), "inf"},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), "nan"},
    };
    static CommaNumbers comma;
    const ScopedGlobalLocale locale(std::locale(std::locale::classic(), &comma));
    for (const Case& c : cases) {
        EXPECT_EQ(toJson(ValueNode::number(c.value)), c.expected) << c.name;
    }
}

TEST(JsonWriter, EscapesTheSevenCharactersAndCopiesOtherBytes) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"the seven escapes", "\b\t\n\f\r\"\\", R"("\b\t\n\f\r\"\\")"},
        {"other control bytes copied", "\x01\x1f\x7f", "\"\x01\x1f\x7f\""},
        {"slash not escaped", "a/b", R"("a/b")"},
        {"UTF-8 copied", "\xe4\xb8\xad", "\"\xe4\xb8\xad\""},
        {"zero byte copied", "a\0b"s, "\"a\0b\""s},
        {"empty", "", R"("")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toJson(ValueNode::string(c.text)), c.expected) << c.name;
    }
}

TEST(JsonWriter, WritesEveryValueTypeCompactly) {
    const ScopedTimeZone utc("UTC");
    struct Case {
        const char* name;
        ValueNode value;
        std::string expected;
    };
    const Case cases[] = {
        {"integer", ValueNode::integer(-9007199254740993), "-9007199254740993"},
        {"true", ValueNode::boolean(true), "true"},
        {"false", ValueNode::boolean(false), "false"},
        {"list", ValueNode::list({"a", "b\"c"}), R"(["a","b\"c"])"},
        {"empty list", ValueNode::list({}), "[]"},
        {"date-time in local time", ValueNode::dateTime(1666080966, 250),
         R"("2022-10-18 08:16:06.250")"},
        {"date-time milliseconds padded", ValueNode::dateTime(0, 7),
         R"("1970-01-01 00:00:00.007")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toJson(c.value), c.expected) << c.name;
    }
    const ScopedTimeZone east("<+0530>-5:30");
    EXPECT_EQ(toJson(ValueNode::dateTime(1666080966, 250)), R"("2022-10-18 13:46:06.250")");
}

TEST(JsonWriter, WritesObjectsInKeyOrderWithKeysUnescaped) {
    usage_analytics::PropertiesNode inner;
    inner.SetNumber("n", 1.5);
    usage_analytics::PropertiesNode object;
    object.SetObject("o", inner);
    object.SetString("s", "x");
    object.SetBool("a\"b", true);  // keys are checked before they get here, never escaped
    object.SetNumber("i", std::int32_t{3});
    EXPECT_EQ(toJson(object), R"({"a"b":true,"i":3,"o":{"n":1.5},"s":"x"})");
    EXPECT_EQ(toJson(usage_analytics::PropertiesNode()), "{}");
}

}  // namespace

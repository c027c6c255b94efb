#include "usage/native_user_tracker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "collector/collector_server.h"
#include "support/scoped_time_zone.h"
#include "support/temp_folder.h"
#include "usage/ko_exception.h"
#include "usage/sdk.h"

namespace pelta::usage {
namespace {

using nlohmann::json;
using usage_analytics::Sdk;

// Each row calls one setter; accepted rows expect one profile record, refused rows a KoException
// from that setter and no record.
TEST(NativeUserTrackerTest, BindingDecidesTheProfileOperationAndRefusesMismatchedTypes) {
    const test_support::ScopedTimeZone utc("UTC");
    test_support::TempFolder folder;
    collector::CollectorServer collector;
    ASSERT_TRUE(collector.start());
    ASSERT_TRUE(Sdk::Init(folder.file("staging"), collector.url(), "dev-1", false));

    using Call = std::function<void()>;
    const auto text = [](const char* key, const char* value) {
        return Call([=] { NativeUserTracker::ProfileUserPropertyString(key, value); });
    };
    const auto number = [](const char* key, double value) {
        return Call([=] { NativeUserTracker::ProfileUserPropertyNumber(key, value); });
    };
    const auto dateTime = [](const char* key, std::int64_t value) {
        return Call([=] { NativeUserTracker::ProfileUserPropertyDateTime(key, value); });
    };
    struct Case {
        const char* name;
        Call call;
        const char* type;  // null: refused
        json value;        // the record's value, or the refusal's message
        const char* function = nullptr;
    };
    const Case cases[] = {
        {"text set", text("ko_label", "gold"), "profile_set", "gold"},
        {"text set once", text("$ios_install_source", "src"), "profile_set_once", "src"},
        {"text cannot accumulate", text("ko_visit_count", "1"), nullptr,
         "user property [ko_visit_count] is string type value, it cannot be accumulated!",
         "ProfileUserPropertyString"},
        {"number increment", number("ko_consumption", 2.5), "profile_increment", 2.5},
        {"number set once", number("ko_first_paid_date", 7), "profile_set_once", 7},
        {"number set", number("ko_user_vip_level", 1), "profile_set", 1},
        {"date below the threshold is seconds", dateTime("ko_last_visit_date", 157789439999),
         "profile_set", "6970-02-23 15:59:59.000"},
        {"date at the threshold is milliseconds", dateTime("ko_last_visit_date", 157789440000),
         "profile_set", "1975-01-01 06:24:00.000"},
        {"date keeps its milliseconds", dateTime("$first_visit_time", 1700000000123),
         "profile_set_once", "2023-11-14 22:13:20.123"},
        {"date cannot accumulate", dateTime("ko_paid_count", 1), nullptr,
         "user property [ko_paid_count] is boolean value, it cannot be accumulative!",
         "ProfileUserPropertyDateTime"},
        {"unbound text key", text("ko_nickname", "x"), nullptr,
         "Not supported user property [ko_nickname]!", "ProfileUserPropertyString"},
        {"unbound number key", number("$first_time", 1), nullptr,
         "Not supported user property [$first_time]!", "ProfileUserPropertyNumber"},
        {"unbound date key", dateTime("ko_visit_date", 1), nullptr,
         "Not supported user property [ko_visit_date]!", "ProfileUserPropertyDateTime"},
    };

    std::vector<const Case*> accepted;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.type != nullptr) {
            EXPECT_NO_THROW(c.call());
            accepted.push_back(&c);
            continue;
        }
        try {
            c.call();
            ADD_FAILURE() << "not refused";
        } catch (const KoException& e) {
            EXPECT_EQ(e.what(), c.value.get<std::string>());
            EXPECT_EQ(e.fileName(), "NativeUserTracker");
            EXPECT_EQ(e.functionName(), c.function);
        }
    }
    ASSERT_TRUE(Sdk::Flush());
    Sdk::Destroy();

    const std::vector<std::string> records = collector.records();
    ASSERT_EQ(records.size(), accepted.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Case& c = *accepted[i];
        SCOPED_TRACE(c.name);
        const json record = json::parse(records[i]);
        EXPECT_EQ(record["type"], c.type);
        const json& properties = record["properties"];
        ASSERT_EQ(properties.size(), 1u) << properties;
        EXPECT_EQ(properties.begin().value(), c.value);
    }
}

}  // namespace
}  // namespace pelta::usage

#include "usage/sdk.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "collector/collector_server.h"
#include "support/temp_folder.h"
#include "usage/properties_node.h"

namespace {

using nlohmann::json;
using usage_analytics::PropertiesNode;
using usage_analytics::Sdk;

// Every test starts and ends without an instance: it is process-wide.
class SdkTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Sdk::Exists());
        ASSERT_TRUE(collector_.start());
    }
    void TearDown() override { Sdk::Destroy(); }

    bool init(const std::string& distinctId, bool isLoginId = false) {
        return Sdk::Init(staging_, collector_.url(), distinctId, isLoginId);
    }

    std::vector<json> received() const {
        std::vector<json> records;
        for (const std::string& text : collector_.records()) {
            records.push_back(json::parse(text));
        }
        return records;
    }

    test_support::TempFolder folder_;
    const std::string staging_ = folder_.file("staging");
    collector::CollectorServer collector_;
};

TEST_F(SdkTest, InitChecksTheDistinctIdAndKeepsTheFirstInstance) {
    struct Case {
        const char* name;
        std::string id;
        std::string line;
    };
    const Case refused[] = {
        {"empty", "", "The Distinct ID is empty.\n"},
        {"256 bytes", std::string(256, 'd'), "The Distinct ID is too long, max length is 255.\n"},
    };
    for (const Case& c : refused) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(init(c.id)) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line) << c.name;
        EXPECT_FALSE(Sdk::Exists()) << c.name;
    }

    const std::string longest(255, 'd');
    ASSERT_TRUE(init(longest));
    EXPECT_TRUE(Sdk::Exists());
    EXPECT_TRUE(Sdk::Init(staging_, collector_.url(), "second", true));
    Sdk::Track("KoEventClick");
    ASSERT_TRUE(Sdk::Flush());

    const std::vector<json> records = received();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["distinct_id"], longest);
    EXPECT_FALSE(records[0]["properties"].contains("$is_login_id"));
}

TEST_F(SdkTest, CallsWithoutAnInstanceDoNothing) {
    testing::internal::CaptureStderr();
    Sdk::Track("bad name");
    Sdk::Login("user-9");
    Sdk::ProfileSet("ko_label", "x");
    Sdk::RegisterSuperProperties(PropertiesNode());
    EXPECT_FALSE(Sdk::Flush());
    EXPECT_FALSE(Sdk::SaveStaging());
    Sdk::Destroy();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(collector_.posts().empty());
}

TEST_F(SdkTest, SendsEachOperationsRecordToTheCollector) {
    ASSERT_TRUE(init("dev-1"));
    PropertiesNode supers;
    supers.SetString("ko_app_id", "app");
    Sdk::RegisterSuperProperties(supers);

    PropertiesNode click;
    click.SetString("ko_name", "next");
    Sdk::Track("KoEventClick", click);
    PropertiesNode withSource;
    withSource.SetString("$ios_install_source", "android_id=123##imei=1234##mac=123");
    Sdk::TrackInstallation("KoEventActivity", withSource);
    Sdk::TrackInstallation("KoEventActivity", PropertiesNode());
    testing::internal::CaptureStderr();
    Sdk::Track("Ko-Event");  // dropped
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "The Event Name need to be a valid variable name.\n");
    Sdk::Login("user-9");
    Sdk::Track("KoEventView");
    Sdk::ProfileSet("ko_label", "x");
    Sdk::ProfileSetOnce("ko_first_visit_date", 1.5);
    Sdk::ProfileIncrement("ko_visit_count", 1);
    Sdk::ProfileAppend("ko_tags", {"a", "b"});
    ASSERT_TRUE(Sdk::Flush());

    const json lib = {{"$lib", "cpp"}, {"$lib_method", "code"}, {"$lib_version", "0.9"}};
    const json supersAfterInit = {{"$lib", "cpp"}, {"$lib_version", "0.9"}, {"ko_app_id", "app"}};
    json supersLoggedIn = supersAfterInit;
    supersLoggedIn["$is_login_id"] = true;
    json clickProperties = supersAfterInit;
    clickProperties["ko_name"] = "next";
    json withSourceProperties = supersAfterInit;
    withSourceProperties["$ios_install_source"] = "android_id=123##imei=1234##mac=123";
    json emptySourceProperties = supersAfterInit;
    emptySourceProperties["$ios_install_source"] = "";
    struct Expected {
        const char* type;
        const char* event;  // null: no "event" key
        const char* distinctId;
        json properties;
    };
    const Expected expected[] = {
        {"track", "KoEventClick", "dev-1", clickProperties},
        {"track", "KoEventActivity", "dev-1", withSourceProperties},
        {"track", "KoEventActivity", "dev-1", emptySourceProperties},
        {"track_signup", "$SignUp", "user-9", supersAfterInit},
        {"track", "KoEventView", "user-9", supersLoggedIn},
        {"profile_set", nullptr, "user-9", {{"$is_login_id", true}, {"ko_label", "x"}}},
        {"profile_set_once",
         nullptr,
         "user-9",
         {{"$is_login_id", true}, {"ko_first_visit_date", 1.5}}},
        {"profile_increment", nullptr, "user-9", {{"$is_login_id", true}, {"ko_visit_count", 1}}},
        {"profile_append",
         nullptr,
         "user-9",
         {{"$is_login_id", true}, {"ko_tags", json::array({"a", "b"})}}},
    };
    const std::vector<json> records = received();
    ASSERT_EQ(records.size(), std::size(expected));
    for (std::size_t i = 0; i < records.size(); ++i) {
        const json& record = records[i];
        const Expected& want = expected[i];
        SCOPED_TRACE(std::to_string(i) + " " + want.type);
        EXPECT_EQ(record["type"], want.type);
        EXPECT_EQ(record.contains("event"), want.event != nullptr);
        if (want.event != nullptr) {
            EXPECT_EQ(record["event"], want.event);
        }
        EXPECT_EQ(record["distinct_id"], want.distinctId);
        EXPECT_EQ(record["properties"], want.properties);
        EXPECT_EQ(record["lib"], lib);
        EXPECT_EQ(record.contains("original_id"), want.type == std::string("track_signup"));
        EXPECT_TRUE(record["_track_id"].is_number_integer());
        EXPECT_TRUE(record["time"].is_number_integer());
    }
    EXPECT_EQ(records[3]["original_id"], "dev-1");
}

TEST_F(SdkTest, DestroyLeavesUnsentRecordsToTheQueuesStagingFile) {
    ASSERT_TRUE(init("dev-1"));
    Sdk::Track("KoEventClick");
    Sdk::Destroy();
    EXPECT_FALSE(Sdk::Exists());
    const std::string staged = folder_.read("staging");
    EXPECT_NE(staged.find(R"("event":"KoEventClick")"), std::string::npos) << staged;
    EXPECT_TRUE(collector_.posts().empty());
}

TEST_F(SdkTest, SaveStagingWritesTheQueueWhileTheInstanceLives) {
    ASSERT_TRUE(init("dev-1"));
    Sdk::Track("AppCrashed");
    EXPECT_TRUE(Sdk::SaveStaging());
    const std::string staged = folder_.read("staging");
    EXPECT_NE(staged.find(R"("event":"AppCrashed")"), std::string::npos) << staged;
    EXPECT_TRUE(Sdk::Exists());
    EXPECT_TRUE(collector_.posts().empty());
}

TEST_F(SdkTest, TracksFromManyThreadsWhileSuperPropertiesChange) {
    constexpr int kThreads = 4;
    constexpr int kEventsPerThread = 50;
    ASSERT_TRUE(init("dev-1"));
    std::vector<std::thread> trackers;
    for (int t = 0; t < kThreads; ++t) {
        trackers.emplace_back([t] {
            for (int i = 0; i < kEventsPerThread; ++i) {
                PropertiesNode properties;
                properties.SetNumber("ko_thread", t);
                Sdk::Track("KoEventView", properties);
            }
        });
    }
    for (int round = 0; round < kEventsPerThread; ++round) {
        PropertiesNode supers;
        supers.SetNumber("ko_round", round);
        Sdk::RegisterSuperProperties(supers);
    }
    Sdk::Login("user-9");
    for (std::thread& tracker : trackers) {
        tracker.join();
    }
    ASSERT_TRUE(Sdk::Flush());

    const std::vector<json> records = received();
    EXPECT_EQ(records.size(), std::size_t{kThreads * kEventsPerThread + 1});
    for (const json& record : records) {
        // Each record pairs the id with its own login flag, never the new id without it.
        EXPECT_EQ(
            record["distinct_id"] == "user-9",
            record["type"] == "track_signup" || record["properties"].contains("$is_login_id"));
    }
}

}  // namespace

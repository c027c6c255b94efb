#include "usage/app_usage_lifecycle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "collector/collector_server.h"
#include "settings/installer_settings.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "usage/app_usage.h"
#include "usage/sdk.h"

namespace {

using nlohmann::json;
using test_support::ScopedEnv;
using test_support::TempFolder;

class AppUsageLifecycleTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(collector_.start());
        env_.emplace(EnvValues{{"XDG_DATA_HOME", data_.path().string()},
                               {"BRIVANO_COLLECTOR_URL", collector_.url()}});
    }
    void TearDown() override { g_settings = saved_; }

    // The properties of the first record of that event the collector stored.
    std::optional<json> delivered(const std::string& event) const {
        for (const std::string& text : collector_.records()) {
            const json record = json::parse(text);
            if (record.value("event", "") == event) {
                return record["properties"];
            }
        }
        return std::nullopt;
    }

    using EnvValues = std::initializer_list<std::pair<const char*, std::optional<std::string>>>;
    const InstallerSettings saved_ = g_settings;
    TempFolder data_;
    collector::CollectorServer collector_;
    std::optional<ScopedEnv> env_;  // set once the collector has its port
};

TEST_F(AppUsageLifecycleTest, DisabledStartsNothing) {
    g_settings.IsEnableAppUsage = false;
    AppUsageInit();
    EXPECT_FALSE(usage_analytics::Sdk::Exists());
    EXPECT_FALSE(std::filesystem::exists(data_.path() / "KOLocal"));
    EXPECT_EQ(releaseProcessTracker(), nullptr);
}

// The tracker is configured from the settings as they are at start, and its shutdown sends what
// the reports left queued and ends the SDK instance.
TEST_F(AppUsageLifecycleTest, ConfiguresTheTrackerFromTheSettingsAndShutdownSends) {
    g_settings.IsEnableAppUsage = true;
    g_settings.DlAppNameSuffix = L".测试";
    g_settings.ExeName = L"setup-2.bin";
    g_settings.DlAppVersion = L"2.0.1";
    AppUsageInit();
    ASSERT_TRUE(usage_analytics::Sdk::Exists());
    AppUsageTrackClick(L"立即安装", {});
    AppUsageShutdown();
    EXPECT_FALSE(usage_analytics::Sdk::Exists());

    const std::optional<json> click = delivered("KoEventClick");
    ASSERT_TRUE(click.has_value()) << collector_.records().size() << " records";
    const struct {
        const char* key;
        std::string value;
    } expected[] = {
        {"ko_app_id", "BrivanoPhotoEditor.测试"},
        {"$app_id", "BrivanoPhotoEditor.测试"},
        {"$app_version", "1.7.9"},
        {"ko_app_store", "setup-2.bin"},
        {"ko_edition", "china"},
        {"ko_dlapp_id", "BrivanoPhotoEditor"},
        {"ko_dlapp_version", "2.0.1"},
        {"ko_name", "立即安装"},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(click->value(e.key, "<missing>"), e.value) << e.key;
    }
    EXPECT_TRUE(
        std::filesystem::is_directory(data_.path() / "KOLocal" / "BrivanoPhotoEditor.测试"));
}

}  // namespace

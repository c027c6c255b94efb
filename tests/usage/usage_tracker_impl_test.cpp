#include "usage/usage_tracker_impl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "collector/collector_server.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "usage/ko_context_properties.h"
#include "usage/ko_exception.h"
#include "usage/sdk.h"
#include "usage/usage_identity.h"

namespace pelta::usage {
namespace {

using nlohmann::json;

constexpr char kAppName[] = "BrivanoPhotoEditor.downloader";
constexpr char kInstallSource[] = "android_id=123##imei=1234##mac=123";

template <typename Event>
Event named(const char* name) {
    Event event;
    event.name = name;
    return event;
}

// A clean machine: the data folders in a temp folder, no display, a known locale, and the
// loopback collector as the default collector.
class UsageTrackerImplTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(usage_analytics::Sdk::Exists());
        ASSERT_TRUE(collector_.start());
        env_.emplace(std::initializer_list<std::pair<const char*, std::optional<std::string>>>{
            {"HOME", folder_.path().string()},
            {"XDG_DATA_HOME", folder_.file("data")},
            {"XDG_CONFIG_HOME", folder_.file("config")},
            {"BRIVANO_COLLECTOR_URL", collector_.url()},
            {"LC_ALL", "zh_CN.UTF-8"},
            {"DISPLAY", std::nullopt},
            {"WAYLAND_DISPLAY", std::nullopt},
        });
    }

    static UsageTrackerConfig config() {
        UsageTrackerConfig config;
        config.appName = kAppName;
        config.appVersion = "1.7.9";
        config.appStore = "setup.exe";
        config.dlAppId = "BrivanoPhotoEditor";
        return config;
    }

    static std::unique_ptr<UsageTrackerImpl> startTracker() {
        auto tracker = std::make_unique<UsageTrackerImpl>(config());
        tracker->init();
        return tracker;
    }

    std::string localFile(const std::string& suffix) const {
        return (std::filesystem::path(folder_.file("data")) / "KOLocal" / kAppName /
                (std::string(kAppName) + suffix))
            .string();
    }

    std::vector<json> received(const char* typePrefix = "") const {
        std::vector<json> records;
        for (const std::string& text : collector_.records()) {
            json record = json::parse(text);
            if (record["type"].get<std::string>().rfind(typePrefix, 0) == 0) {
                records.push_back(std::move(record));
            }
        }
        return records;
    }

    test_support::TempFolder folder_;
    collector::CollectorServer collector_;
    std::optional<test_support::ScopedEnv> env_;
};

TEST_F(UsageTrackerImplTest, InitRefusesMissingNamesWithTheirLines) {
    struct Case {
        const char* name;
        std::function<void(UsageTrackerConfig&)> change;
        const char* message;
        int line;
    };
    const Case cases[] = {
        {"app name", [](UsageTrackerConfig& c) { c.appName.clear(); }, "appName is empty", 310},
        {"app version", [](UsageTrackerConfig& c) { c.appVersion.clear(); }, "appVersion is empty",
         314},
        {"app store", [](UsageTrackerConfig& c) { c.appStore.clear(); }, "appStore is empty", 318},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsageTrackerConfig changed = config();
        c.change(changed);
        UsageTrackerImpl tracker(changed);
        try {
            tracker.init();
            ADD_FAILURE() << "not refused";
        } catch (const KoException& e) {
            EXPECT_STREQ(e.what(), c.message);
            EXPECT_EQ(e.fileName(), "UsageTrackerImpl");
            EXPECT_EQ(e.functionName(), "init");
            EXPECT_EQ(e.line(), c.line);
        }
        EXPECT_FALSE(usage_analytics::Sdk::Exists());
        EXPECT_EQ(tracker.getTrackLogger(), nullptr);
        tracker.trackLaunch(nullptr);  // still usable: the SDK calls do nothing
    }
    EXPECT_FALSE(std::filesystem::exists(folder_.file("data")));
    EXPECT_TRUE(collector_.posts().empty());
}

// The SDK refuses an id longer than 255 bytes, so a stored one keeps it from starting.
TEST_F(UsageTrackerImplTest, InitReportsAnSdkThatDoesNotStartAndStaysUsable) {
    const std::string longId(256, 'u');
    struct Case {
        const char* name;
        std::string base;
        int line;
    };
    const Case cases[] = {
        {"logged in", "DistinctId=" + longId + "\nUserId=" + longId + "\nisLogined=OK\n", 407},
        {"anonymous", "DistinctId=" + longId + "\nisLogined=NG\n", 415},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::create_directories(std::filesystem::path(localFile("")).parent_path());
        std::ofstream(localFile("_KOSConfigure.ini"))
            << "[Base]\nPrimaryDistinctId=p-1\nURL=" << collector_.url() << "\n"
            << c.base;
        UsageTrackerImpl tracker(config());
        try {
            tracker.init();
            ADD_FAILURE() << "not refused";
        } catch (const KoException& e) {
            EXPECT_STREQ(e.what(), "usage_analytics::Sdk::Init is failed");
            EXPECT_EQ(e.functionName(), "init");
            EXPECT_EQ(e.line(), c.line);
        }
        EXPECT_FALSE(usage_analytics::Sdk::Exists());
        EXPECT_NE(tracker.getTrackLogger(), nullptr);
        tracker.trackClick(named<KoEventClick>("next"), nullptr);
    }
    EXPECT_TRUE(collector_.posts().empty());
}

TEST_F(UsageTrackerImplTest, InitRegistersTheSuperPropertiesAndTheInstallRecord) {
    std::string primaryId;
    {
        auto tracker = startTracker();
        ASSERT_NE(tracker->getTrackLogger(), nullptr);
        primaryId = tracker->getPrimaryDistinctId();
        tracker->trackLaunch(nullptr);
        tracker->setLocale("en_US");
        tracker->trackLaunch(nullptr);
        // Nothing counted as unsent: neither the launches nor the exit send on their own.
        ASSERT_TRUE(usage_analytics::Sdk::Flush());
    }
    const std::vector<json> records = received();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["distinct_id"], primaryId);
    UsageIdentity identity;
    json supers = {
        {"$lib", "cpp"},
        {"$lib_version", "0.9"},
        {"ko_app_id", kAppName},
        {"$app_version", "1.7.9"},
        {"$app_id", kAppName},
        {"ko_app_store", "setup.exe"},
        {"ko_edition", "china"},
        {"ko_dlapp_id", "BrivanoPhotoEditor"},
        {"ko_app_platform", "Linux"},
        {"ko_track_type", "Client"},
        {"ko_sdk_version", "3.3.8"},
        {"ko_sdk", "LinuxCPP"},
        {"$os", "Linux"},
        {"$os_version", osVersion()},
        {"ko_l10n_locale", identity.locale()},
        {"ko_l10n_language", "zh"},
        {"ko_l10n_country", "CN"},
        {"$screen_height", 0},
        {"$screen_width", 0},
    };
    EXPECT_EQ(records[0]["properties"], supers);
    identity.setLocale("en_US");
    supers["ko_l10n_locale"] = identity.locale();
    supers["ko_l10n_language"] = "en";
    supers["ko_l10n_country"] = "US";
    EXPECT_EQ(records[1]["properties"], supers);

    std::ifstream in(localFile("_KOSConfigure.ini"));
    const std::string configuration{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(configuration.find("[UninstallInfo]"), std::string::npos) << configuration;
    for (const char* line :
         {"AppStore=setup.exe", "AppName=BrivanoPhotoEditor.downloader", "AppVersion=1.7.9"}) {
        EXPECT_NE(configuration.find(line), std::string::npos) << line << "\n" << configuration;
    }
    EXPECT_TRUE(std::filesystem::exists(localFile("_KOSLog.txt")));
}

// Every row is one call of a track operation with context properties registered for the row's
// kind only. An accepted row sends one track record whose properties are the super properties
// plus exactly the row's; a refused row raises and sends nothing.
TEST_F(UsageTrackerImplTest, CatalogueRowsSendTheirEventsAndRefuseTheirViolations) {
    using Call = std::function<void(UsageTracker&, const KoContextProperties*)>;
    struct Case {
        const char* name;
        KoEventType type;
        Call call;
        const char* event;  // null: refused
        json properties;    // the row's own properties, or {message, function}
        int line = 0;       // checked when not 0
    };
    const json firstTime = {{"$is_first_time", true}};
    const auto with = [&](json properties) {
        properties.update(firstTime);
        return properties;
    };
    const auto refused = [](const char* message, const char* function) {
        return json{{"message", message}, {"function", function}};
    };
    KoEventClick click{"main", "next",  KoClickType::Banner, "Next", "footer", "page-1", 0, "tab",
                       2,      "banner"};
    KoEventFile file;
    file.aname = "save";
    file.name = "photo";
    file.ioType = KoIoType::Output;
    file.ext = "png";
    file.size = 0;
    file.duration = 3;
    file.fps = 25;
    file.bps = 0.5f;
    file.width = 640;
    file.height = 480;
    file.depth = 24;
    file.result = KoResult::Success;
    KoEventOrder order;
    order.orderId = "o-1";
    order.suitId = "suit";
    order.currency = KoCurrency::Usd;
    order.originalAmount = 12.5f;
    order.paidAmount = 10;
    order.campaignCode = 0;
    order.curPaidAmount = 70;
    order.cashierName = "store";
    KoEventPayment payment;
    payment.orderId = "o-1";
    payment.currency = KoCurrency::Eur;
    payment.paidPlatform = KoPaidPlatform::PayPal;
    payment.result = KoResult::Success;
    payment.iapType = KoIapType::AutoRenewable;
    payment.usedVoucherId = "v-1";
    KoAppOpenNotification notification{"title", "",    "https://example.invalid/", "plan", "", "",
                                       "push",  "unit"};

    const auto changedOrder = [&](auto change) {
        KoEventOrder changed = order;
        change(changed);
        return Call([changed](UsageTracker& t, auto* c) { t.trackOrder(changed, c); });
    };
    const auto changedPayment = [&](auto change) {
        KoEventPayment changed = payment;
        change(changed);
        return Call([changed](UsageTracker& t, auto* c) { t.trackPayment(changed, c); });
    };
    const auto changedNotification = [&](auto change) {
        KoAppOpenNotification changed = notification;
        change(changed);
        return Call(
            [changed](UsageTracker& t, auto* c) { t.trackAppOpenNotification(&changed, c); });
    };
    const auto update = [](KoUpdateOp op, std::optional<KoUpdateResult> result,
                           std::optional<float> elapsed) {
        return Call([=](UsageTracker& t, auto* c) { t.trackUpdate({op, result, elapsed}, c); });
    };

    const Case cases[] = {
        {"activity", KoEventType::Activity, [](UsageTracker& t, auto* c) { t.trackActivity(c); },
         "KoEventActivity",
         with({{"$ios_install_source", kInstallSource}, {"$user_agent", userAgent()}})},
        {"launch", KoEventType::Launch, [](UsageTracker& t, auto* c) { t.trackLaunch(c); },
         "KoEventLaunch", json::object()},
        {"login without a user",
         KoEventType::Login,
         [](UsageTracker& t, auto* c) {
             KoUserInfo user;
             user.userType = KoUserType::Email;
             t.trackLogin(user, false, "wrong password", c);
         },
         "KoEventLogin",
         {{"ko_type", "email"}, {"ko_result", "Fail"}, {"ko_reason", "wrong password"}}},
        {"click", KoEventType::Click, [&](UsageTracker& t, auto* c) { t.trackClick(click, c); },
         "KoEventClick",
         with({{"ko_name", "next"},
               {"ko_click_type", "Banner"},
               {"ko_aname", "main"},
               {"ko_title", "Next"},
               {"ko_position", "page-1"},
               {"ko_module", "footer"},
               {"ko_tab_name", "tab"},
               {"ko_tab_index", 0},
               {"ko_banner_name", "banner"},
               {"ko_banner_index", 2}})},
        {"click without name", KoEventType::Click,
         [](UsageTracker& t, auto* c) { t.trackClick({}, c); }, nullptr,
         refused("koEventClick.name is empty", "trackClick")},
        {"view with a text in the ANSI charset", KoEventType::View,
         [](UsageTracker& t, auto* c) {
             t.trackView({"", "caf\xe9", "", ""}, c);
         },
         "KoEventView", with({{"ko_name", "caf\xef\xbf\xbd"}})},
        {"view without name", KoEventType::View,
         [](UsageTracker& t, auto* c) {
             t.trackView({"a", "", "t", "p"}, c);
         },
         nullptr, refused("koEventView.name is empty", "trackView")},
        {"cashier", KoEventType::Cashier,
         [](UsageTracker& t, auto* c) {
             t.trackCashier({"vip", "VIP", "year"}, c);
         },
         "KoEventCashier",
         with({{"ko_cashier_name", "vip"}, {"ko_cashier_title", "VIP"}, {"ko_subitem", "year"}})},
        {"cashier without name", KoEventType::Cashier,
         [](UsageTracker& t, auto* c) {
             t.trackCashier({"", "VIP", ""}, c);
         },
         nullptr, refused("koEventCashier.ko_cashier_name is empty", "trackCashier")},
        {"share sends an unknown result", KoEventType::Share,
         [](UsageTracker& t, auto* c) {
             t.trackShare({"", "mail", "", "photo", KoResult::Unknown}, c);
         },
         "KoEventShare",
         with({{"ko_channel", "mail"}, {"ko_shared_name", "photo"}, {"ko_result", "Unknown"}})},
        {"share with a result outside its table", KoEventType::Share,
         [](UsageTracker& t, auto* c) {
             t.trackShare({"", "", "", "", KoResult{9}}, c);
         },
         nullptr, refused("Unknown task result [9]!", "toString")},
        {"task leaves an unknown result out", KoEventType::Task,
         [](UsageTracker& t, auto* c) {
             t.trackTask({"install", "download", "", 1.5f, KoResult::Unknown}, c);
         },
         "KoEventTask",
         with({{"ko_task_name", "download"}, {"ko_task_elapsed", 1.5}, {"ko_aname", "install"}})},
        {"task", KoEventType::Task,
         [](UsageTracker& t, auto* c) {
             t.trackTask({"", "download", "disk", {}, KoResult::Fail}, c);
         },
         "KoEventTask",
         with({{"ko_task_name", "download"}, {"ko_task_result", "Fail"}, {"ko_reason", "disk"}})},
        {"task without name", KoEventType::Task,
         [](UsageTracker& t, auto* c) { t.trackTask({}, c); }, nullptr,
         refused("koEventTask.name is empty", "trackTask"), 1016},
        {"file", KoEventType::File, [&](UsageTracker& t, auto* c) { t.trackFile(file, c); },
         "KoEventFile",
         with({{"ko_aname", "save"},
               {"ko_io", "Output"},
               {"ko_result", "Success"},
               {"ko_name", "photo"},
               {"ko_ext", "png"},
               {"ko_duration", 3},
               {"ko_fps", 25.0},
               {"ko_bps", 0.5},
               {"ko_width", 640},
               {"ko_height", 480},
               {"ko_depth", 24}})},
        {"file without aname", KoEventType::File,
         [](UsageTracker& t, auto* c) { t.trackFile({}, c); }, nullptr,
         refused("koEventFile.aname is empty", "trackFile")},
        {"order", KoEventType::Order, [&](UsageTracker& t, auto* c) { t.trackOrder(order, c); },
         "KoEventOrder",
         with({{"ko_suit_id", "suit"},
               {"ko_currency", "USD"},
               {"ko_paid_amount", 10.0},
               {"ko_original_amount", 12.5},
               {"ko_order_id", "o-1"},
               {"ko_campaign_code", 0},
               {"ko_cur_paid_amount", 70.0},
               {"ko_cashier_name", "store"}})},
        {"order without suit", KoEventType::Order,
         changedOrder([](KoEventOrder& o) { o.suitId.clear(); }), nullptr,
         refused("koEventOrder.koSuitId is empty", "trackOrder")},
        {"order without currency", KoEventType::Order,
         changedOrder([](KoEventOrder& o) { o.currency.reset(); }), nullptr,
         refused("koEventOrder.koCurrency is nullptr", "trackOrder")},
        {"order paid nothing", KoEventType::Order,
         changedOrder([](KoEventOrder& o) { o.paidAmount = 0; }), nullptr,
         refused("koEventOrder.originalAmount is less than zero", "trackOrder")},
        {"payment of nothing", KoEventType::Payment,
         [&](UsageTracker& t, auto* c) { t.trackPayment(payment, c); }, "KoEventPayment",
         with({{"ko_order_id", "o-1"},
               {"ko_paid_platform", "PayPal"},
               {"ko_currency", "EUR"},
               {"ko_paid_amount", 0.0},
               {"ko_original_amount", 0.0},
               {"ko_result", "Success"},
               {"ko_iap_type", "AutoRenewable"},
               {"ko_used_voucher_id", "v-1"}})},
        {"payment without order", KoEventType::Payment,
         changedPayment([](KoEventPayment& p) { p.orderId.clear(); }), nullptr,
         refused("koEventPayment.koOrderId is empty", "trackPayment")},
        {"payment paid below zero", KoEventType::Payment,
         changedPayment([](KoEventPayment& p) { p.paidAmount = -1.5f; }), nullptr,
         refused("paidAmount = -1.500000 is invalid", "trackPayment")},
        {"payment priced below zero", KoEventType::Payment,
         changedPayment([](KoEventPayment& p) { p.originalAmount = -2; }), nullptr,
         refused("originalAmount = -2.000000 is invalid", "trackPayment")},
        {"payment cancelled", KoEventType::Payment,
         changedPayment([](KoEventPayment& p) { p.result = KoResult::Cancelled; }), nullptr,
         refused("koEventPayment.result is invalid", "trackPayment")},
        {"payment without result", KoEventType::Payment,
         changedPayment([](KoEventPayment& p) { p.result.reset(); }), nullptr,
         refused("koEventPayment.result is invalid", "trackPayment")},
        {"uninstall",
         KoEventType::Uninstall,
         [](UsageTracker& t, auto* c) { t.trackUninstall({"too big"}, c); },
         "KoEventUninstall",
         {{"ko_uninstall_reason", "too big"}}},
        {"crash carries no context",
         KoEventType::Crash,
         [](UsageTracker& t, auto*) { t.trackCrash("boom"); },
         "AppCrashed",
         {{"app_crashed_reason", "boom"}}},
        {"update check without result",
         KoEventType::Update,
         update(KoUpdateOp::UpdateCheck, {}, {}),
         "KoEventUpdate",
         {{"ko_update_op", "UpdateCheck"}, {"ko_update_result", ""}}},
        {"download start",
         KoEventType::Update,
         update(KoUpdateOp::DownloadStart, KoUpdateResult::Fail, 1),
         "KoEventUpdate",
         {{"ko_update_op", "DownloadStart"}}},
        {"download end",
         KoEventType::Update,
         update(KoUpdateOp::DownloadEnd, KoUpdateResult::Timeout, 2.5f),
         "KoEventUpdate",
         {{"ko_update_op", "DownloadEnd"}, {"ko_update_result", "Timeout"}, {"ko_elapsed", 2.5}}},
        {"upgrade end", KoEventType::Update,
         update(KoUpdateOp::UpgradeEnd, KoUpdateResult::Success, 4), "KoEventUpdate",
         with({{"ko_update_op", "UpgrateEnd"},
               {"ko_update_result", "Success"},
               {"ko_elapsed", 4.0}})},
        {"download end without result", KoEventType::Update, update(KoUpdateOp::DownloadEnd, {}, 1),
         nullptr, refused("Unknown updateResultInfo info", "trackUpdate")},
        {"upgrade end without elapsed", KoEventType::Update,
         update(KoUpdateOp::UpgradeEnd, KoUpdateResult::Fail, {}), nullptr,
         refused("invalid elapsed info", "trackUpdate")},
        {"update operation outside its table", KoEventType::Update, update(KoUpdateOp{7}, {}, {}),
         nullptr, refused("Unknown KoUpdateOp [7]!", "trackUpdate")},
        {"notification", KoEventType::AppOpenNotification,
         [&](UsageTracker& t, auto* c) { t.trackAppOpenNotification(&notification, c); },
         "AppOpenNotification",
         with({{"$sf_msg_title", "title"},
               {"$sf_plan_id", "plan"},
               {"$sf_plan_type", "push"},
               {"$sf_link_url", "https://example.invalid/"},
               {"$sf_strategy_unit_id", "unit"}})},
        {"no notification", KoEventType::AppOpenNotification,
         [](UsageTracker& t, auto* c) { t.trackAppOpenNotification(nullptr, c); }, nullptr,
         refused("&appOpenNotification is nullptr", "trackAppOpenNotification")},
        {"notification without plan id", KoEventType::AppOpenNotification,
         changedNotification([](KoAppOpenNotification& n) { n.planId.clear(); }), nullptr,
         refused("planID is emptry", "trackAppOpenNotification")},
        {"notification without plan type", KoEventType::AppOpenNotification,
         changedNotification([](KoAppOpenNotification& n) { n.planType.clear(); }), nullptr,
         refused("planType is emptry", "trackAppOpenNotification")},
        {"notification without title", KoEventType::AppOpenNotification,
         changedNotification([](KoAppOpenNotification& n) { n.msgTitle.clear(); }), nullptr,
         refused("msgTitle is emptry", "trackAppOpenNotification")},
    };

    std::vector<const Case*> accepted;
    {
        auto tracker = startTracker();
        tracker->trackCrash("");  // nothing but the super properties
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            KoContextProperties context;
            context.setProperty("AB", {c.type});
            if (c.event != nullptr) {
                EXPECT_NO_THROW(c.call(*tracker, &context));
                accepted.push_back(&c);
                continue;
            }
            try {
                c.call(*tracker, &context);
                ADD_FAILURE() << "not refused";
            } catch (const KoException& e) {
                EXPECT_EQ(e.what(), c.properties["message"].get<std::string>());
                EXPECT_EQ(e.functionName(), c.properties["function"].get<std::string>());
                if (c.line != 0) {
                    EXPECT_EQ(e.line(), c.line);
                }
            }
        }
    }

    const std::vector<json> tracks = received("track");
    ASSERT_EQ(tracks.size(), accepted.size() + 1);
    const json& supers = tracks[0]["properties"];
    EXPECT_FALSE(supers.contains("app_crashed_reason"));
    for (std::size_t i = 0; i < accepted.size(); ++i) {
        const Case& c = *accepted[i];
        SCOPED_TRACE(c.name);
        const json& record = tracks[i + 1];
        EXPECT_EQ(record["event"], c.event);
        json expected = supers;
        expected.update(c.properties);
        if (c.type != KoEventType::Crash) {
            expected["koc_ab"] = "AB";
        }
        EXPECT_EQ(record["properties"], expected);
    }

    // The profile follows the first visit and the payment, not a launch without a user.
    std::vector<std::pair<std::string, std::string>> profile;
    for (const json& record : received("profile")) {
        profile.emplace_back(record["type"], record["properties"].begin().key());
    }
    const std::vector<std::pair<std::string, std::string>> expectedProfile = {
        {"profile_set_once", "$first_visit_time"},  {"profile_set_once", "ko_first_visit_date"},
        {"profile_set", "ko_last_visit_date"},      {"profile_set", "ko_os"},
        {"profile_set", "ko_os_version"},           {"profile_set", "ko_app_store"},
        {"profile_set", "ko_app_platform"},         {"profile_set", "ko_last_app_id"},
        {"profile_set", "ko_last_app_version"},     {"profile_set_once", "$ios_install_source"},
        {"profile_increment", "ko_paid_count"},     {"profile_increment", "ko_consumption"},
        {"profile_set_once", "ko_first_paid_date"}, {"profile_set", "ko_last_paid_date"},
    };
    EXPECT_EQ(profile, expectedProfile);
}

TEST_F(UsageTrackerImplTest, LoginSignsUpFromTheOriginalIdAndIsRememberedByTheNextRun) {
    KoUserInfo user;
    user.userId = "u-42";
    user.userType = KoUserType::PeltaUserId;
    user.vipLevel = 3;
    std::string primaryId;
    {
        auto tracker = startTracker();
        primaryId = tracker->getPrimaryDistinctId();
        tracker->trackLogin(user, true, "", nullptr);
        tracker->trackClick(named<KoEventClick>("next"), nullptr);
    }
    {
        auto tracker = startTracker();
        EXPECT_EQ(tracker->getPrimaryDistinctId(), primaryId);
        tracker->trackLaunch(nullptr);                 // a stored user: the visit dates follow
        tracker->trackLogin(user, true, "", nullptr);  // already logged in: no second sign-up
    }

    const std::vector<json> records = received();
    std::vector<std::string> seen;
    for (const json& record : records) {
        json properties = record["properties"];
        properties.erase("$is_login_id");
        seen.push_back(record["type"].get<std::string>() + " " +
                       record.value("event", properties.begin().key()) + " " +
                       record["distinct_id"].get<std::string>());
    }
    const std::vector<std::string> expected = {
        "track KoEventLogin " + primaryId,
        "track_signup $SignUp u-42",
        "track KoEventClick u-42",
        "track KoEventLaunch u-42",
        "profile_set_once $first_visit_time u-42",
        "profile_set_once ko_first_visit_date u-42",
        "profile_set ko_last_visit_date u-42",
        "track KoEventLogin u-42",
    };
    ASSERT_EQ(seen, expected);
    EXPECT_EQ(records[0]["properties"]["ko_user_id"], "u-42");
    EXPECT_EQ(records[0]["properties"]["ko_login_id"], "u-42");
    EXPECT_EQ(records[0]["properties"]["ko_type"], "peltauserid");
    EXPECT_EQ(records[0]["properties"]["ko_result"], "Success");
    EXPECT_EQ(records[0]["properties"]["$is_first_time"], true);
    EXPECT_EQ(records[1]["original_id"], primaryId);
    for (std::size_t i : {2u, 3u}) {
        EXPECT_EQ(records[i]["properties"]["ko_user_id"], "u-42") << i;
        EXPECT_EQ(records[i]["properties"]["$is_login_id"], true) << i;
    }

    std::ifstream in(localFile("_KOSConfigure.ini"));
    const std::string configuration{std::istreambuf_iterator<char>(in), {}};
    for (const char* line : {"UserId=u-42", "DistinctId=u-42", "UserVipLevel=3", "isLogined=OK"}) {
        EXPECT_NE(configuration.find(line), std::string::npos) << line << "\n" << configuration;
    }
}

TEST_F(UsageTrackerImplTest, CountedEventsLeaveAtExitAndUnsentOnesWithTheNextRun) {
    {
        auto tracker = startTracker();
        tracker->trackClick(named<KoEventClick>("first"), nullptr);
        tracker->trackTask(named<KoEventTask>("deferred"), nullptr);
        EXPECT_TRUE(collector_.posts().empty()) << "counted events wait for an immediate request";
    }
    ASSERT_EQ(received().size(), 2u);
    EXPECT_EQ(received()[0]["event"], "KoEventClick");

    // The collector refuses every try at exit: the record stays in the staging file.
    {
        auto tracker = startTracker();
        tracker->trackView(named<KoEventView>("second"), nullptr);
        collector_.failNext(3, 500);
    }
    EXPECT_EQ(collector_.posts().size(), 4u);
    ASSERT_EQ(received().size(), 2u);
    std::ifstream in(localFile("_KOSStaging.log"));
    const std::string staged{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(staged.find("\"second\""), std::string::npos) << staged;

    {
        auto tracker = startTracker();
        tracker->trackView(named<KoEventView>("third"), nullptr);
    }
    std::vector<std::string> names;
    for (const json& record : received()) {
        names.push_back(
            record["properties"].value("ko_name", record["properties"].value("ko_task_name", "")));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"first", "deferred", "second", "third"}));
}

TEST_F(UsageTrackerImplTest, TracksFromManyThreadsWhileAUserLogsIn) {
    constexpr int kThreads = 4;
    constexpr int kClicksPerThread = 20;
    {
        auto tracker = startTracker();
        std::vector<std::thread> workers;
        for (int t = 0; t < kThreads; ++t) {
            workers.emplace_back([&tracker] {
                for (int i = 0; i < kClicksPerThread; ++i) {
                    tracker->trackClick(named<KoEventClick>("next"), nullptr);
                    tracker->trackLaunch(nullptr);
                }
            });
        }
        KoUserInfo user;
        user.userId = "u-7";
        tracker->trackLogin(user, true, "", nullptr);
        for (std::thread& worker : workers) {
            worker.join();
        }
    }
    int clicks = 0;
    int signUps = 0;
    for (const json& record : received("track")) {
        clicks += record["event"] == "KoEventClick";
        signUps += record["event"] == "$SignUp";
    }
    EXPECT_EQ(clicks, kThreads * kClicksPerThread);
    EXPECT_EQ(signUps, 1);
}

TEST(NativeTrackLoggerTest, AppendsToWhatIsThereAndFollowsANewPath) {
    test_support::TempFolder folder;
    const std::string first = folder.write("first.txt", "kept\n");
    const std::string second = folder.file("second.txt");
    NativeTrackLogger logger;
    EXPECT_TRUE(logger.readRecords().empty());
    ASSERT_TRUE(logger.open(first));
    EXPECT_EQ(logger.readRecords(), std::vector<std::string>{"kept"});
    ASSERT_TRUE(logger.open(second));
    EXPECT_EQ(logger.path(), second);
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_EQ(folder.read("first.txt"), "kept\n");
    ASSERT_TRUE(logger.open(first));
    logger.clear();
    EXPECT_TRUE(logger.readRecords().empty());
    EXPECT_EQ(folder.read("first.txt"), "");
    logger.close();
    EXPECT_FALSE(logger.open(folder.file("missing/log.txt")));
}

}  // namespace
}  // namespace pelta::usage

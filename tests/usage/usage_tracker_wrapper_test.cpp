#include "usage/usage_tracker_wrapper.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "usage/ko_exception.h"

namespace pelta::usage {
namespace {

class NullLogger : public TrackLogger {
public:
    std::vector<std::string> readRecords() override { return {}; }
    void clear() override {}
};

// What the implementation behind the wrapper saw, shared with the test so that it can be read
// after the wrapper has destroyed the implementation.
struct Calls {
    std::vector<std::string> operations;
    bool destroyed = false;
};

enum class Failure { None, KoException, Other };

// Records each operation and then fails as the test asks.
class ScriptedTracker : public UsageTracker {
public:
    ScriptedTracker(std::shared_ptr<Calls> calls, Failure failure, bool withLogger)
        : calls_(std::move(calls)),
          failure_(failure),
          logger_(withLogger ? std::make_unique<NullLogger>() : nullptr) {}
    ~ScriptedTracker() override { calls_->destroyed = true; }

    void trackActivity(const KoContextProperties*) override { called("Activity"); }
    void trackLaunch(const KoContextProperties*) override { called("Launch"); }
    void trackLogin(const KoUserInfo&, bool, const std::string&,
                    const KoContextProperties*) override {
        called("Login");
    }
    void trackClick(const KoEventClick&, const KoContextProperties*) override { called("Click"); }
    void trackView(const KoEventView&, const KoContextProperties*) override { called("View"); }
    void trackCashier(const KoEventCashier&, const KoContextProperties*) override {
        called("Cashier");
    }
    void trackShare(const KoEventShare&, const KoContextProperties*) override { called("Share"); }
    void trackTask(const KoEventTask&, const KoContextProperties*) override { called("Task"); }
    void trackFile(const KoEventFile&, const KoContextProperties*) override { called("File"); }
    void trackOrder(const KoEventOrder&, const KoContextProperties*) override { called("Order"); }
    void trackPayment(const KoEventPayment&, const KoContextProperties*) override {
        called("Payment");
    }
    void trackUninstall(const KoEventUninstall&, const KoContextProperties*) override {
        called("Uninstall");
    }
    void trackCrash(const std::string&) override { called("Crash"); }
    void trackUpdate(const KoEventUpdate&, const KoContextProperties*) override {
        called("Update");
    }
    void trackAppOpenNotification(const KoAppOpenNotification*,
                                  const KoContextProperties*) override {
        called("AppOpenNotification");
    }
    void setLocale(const std::string& locale) override {
        calls_->operations.push_back("setLocale " + locale);
    }
    std::string getPrimaryDistinctId() override { return "distinct-1"; }
    TrackLogger* getTrackLogger() override { return logger_.get(); }

private:
    void called(const std::string& kind) {
        calls_->operations.push_back(kind);
        switch (failure_) {
            case Failure::None:
                return;
            case Failure::KoException:
                throw KoException("UsageTrackerImpl", "track" + kind, 1, "rejected");
            case Failure::Other:
                throw 42;
        }
    }

    std::shared_ptr<Calls> calls_;
    Failure failure_;
    std::unique_ptr<NullLogger> logger_;
};

struct TrackOperation {
    std::string kind;
    std::function<void(UsageTracker&)> call;
};

std::vector<TrackOperation> allTrackOperations() {
    static const KoContextProperties context;
    return {
        {"Activity", [](UsageTracker& t) { t.trackActivity(&context); }},
        {"Launch", [](UsageTracker& t) { t.trackLaunch(&context); }},
        {"Login", [](UsageTracker& t) { t.trackLogin({}, true, "", &context); }},
        {"Click", [](UsageTracker& t) { t.trackClick({}, &context); }},
        {"View", [](UsageTracker& t) { t.trackView({}, &context); }},
        {"Cashier", [](UsageTracker& t) { t.trackCashier({}, &context); }},
        {"Share", [](UsageTracker& t) { t.trackShare({}, &context); }},
        {"Task", [](UsageTracker& t) { t.trackTask({}, &context); }},
        {"File", [](UsageTracker& t) { t.trackFile({}, &context); }},
        {"Order", [](UsageTracker& t) { t.trackOrder({}, &context); }},
        {"Payment", [](UsageTracker& t) { t.trackPayment({}, &context); }},
        {"Uninstall", [](UsageTracker& t) { t.trackUninstall({}, &context); }},
        {"Crash", [](UsageTracker& t) { t.trackCrash("x"); }},
        {"Update", [](UsageTracker& t) { t.trackUpdate({}, &context); }},
        {"AppOpenNotification",
         [](UsageTracker& t) { t.trackAppOpenNotification(nullptr, &context); }},
    };
}

TEST(UsageTrackerWrapper, AbsorbsFailuresAndAnnouncesThemOnlyWithALogger) {
    const struct {
        Failure failure;
        bool withLogger;
        bool announced;
    } cases[] = {
        {Failure::None, true, false},   {Failure::KoException, true, true},
        {Failure::Other, true, true},   {Failure::KoException, false, false},
        {Failure::Other, false, false},
    };
    for (const auto& c : cases) {
        for (const TrackOperation& operation : allTrackOperations()) {
            SCOPED_TRACE(operation.kind + " failure " +
                         std::to_string(static_cast<int>(c.failure)) +
                         (c.withLogger ? " with logger" : " without logger"));
            auto calls = std::make_shared<Calls>();
            UsageTrackerWrapper wrapper(
                std::make_unique<ScriptedTracker>(calls, c.failure, c.withLogger));
            testing::internal::CaptureStdout();
            EXPECT_NO_THROW(operation.call(wrapper));
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_EQ(calls->operations, std::vector<std::string>{operation.kind});
            EXPECT_EQ(out, c.announced ? "Failed to track" + operation.kind + "\n" : "");
        }
    }
}

TEST(UsageTrackerWrapper, ForwardsTheRestAndOwnsTheImplementation) {
    auto calls = std::make_shared<Calls>();
    {
        UsageTrackerWrapper wrapper(std::make_unique<ScriptedTracker>(calls, Failure::None, true));
        wrapper.setLocale("zh_CN");
        EXPECT_EQ(wrapper.getPrimaryDistinctId(), "distinct-1");
        EXPECT_EQ(wrapper.getTrackLogger(), nullptr);
        EXPECT_FALSE(calls->destroyed);
    }
    EXPECT_EQ(calls->operations, std::vector<std::string>{"setLocale zh_CN"});
    EXPECT_TRUE(calls->destroyed);
}

TEST(UsageTrackerWrapper, WithoutImplementationDoesNothing) {
    UsageTrackerWrapper wrapper(nullptr);
    testing::internal::CaptureStdout();
    for (const TrackOperation& operation : allTrackOperations()) {
        EXPECT_NO_THROW(operation.call(wrapper)) << operation.kind;
    }
    wrapper.setLocale("en_US");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(wrapper.getPrimaryDistinctId(), "");
    EXPECT_EQ(wrapper.getTrackLogger(), nullptr);
}

}  // namespace
}  // namespace pelta::usage

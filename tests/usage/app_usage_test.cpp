#include "usage/app_usage.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "settings/installer_settings.h"
#include "usage/ko_exception.h"
#include "usage/usage_tracker_wrapper.h"

namespace {

using pelta::usage::KoAppOpenNotification;
using pelta::usage::KoClickType;
using pelta::usage::KoContextProperties;
using pelta::usage::KoEventCashier;
using pelta::usage::KoEventClick;
using pelta::usage::KoEventFile;
using pelta::usage::KoEventOrder;
using pelta::usage::KoEventPayment;
using pelta::usage::KoEventShare;
using pelta::usage::KoEventTask;
using pelta::usage::KoEventType;
using pelta::usage::KoEventUninstall;
using pelta::usage::KoEventUpdate;
using pelta::usage::KoEventView;
using pelta::usage::KoException;
using pelta::usage::KoResult;
using pelta::usage::KoUserInfo;
using pelta::usage::TrackLogger;
using pelta::usage::UsageTracker;
using pelta::usage::UsageTrackerWrapper;

// One event as the tracker received it.
struct Seen {
    std::string kind;
    std::string name;  // the crash reason for Crash
    std::string reason;
    std::optional<float> elapsedSec;
    std::optional<KoResult> result;
    std::optional<KoClickType> clickType;
    std::optional<std::string> ab;  // "koc_ab" registered for the event's own kind

    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    out << s.kind << " name=" << s.name << " reason=" << s.reason;
    if (s.elapsedSec)
        out << " elapsed=" << *s.elapsedSec;
    if (s.result)
        out << " result=" << static_cast<int>(*s.result);
    if (s.clickType)
        out << " click=" << static_cast<int>(*s.clickType);
    if (s.ab)
        out << " ab=" << *s.ab;
    return out;
}

// What reached the tracker; outlives it. Reports come from several threads.
struct Log {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Seen> seen;
    bool released = false;
    int afterRelease = 0;

    std::vector<Seen> snapshot() {
        const std::lock_guard lock(mutex);
        return seen;
    }
};

// An event of a kind whose record the helpers never fill in.
Seen bare(std::string kind, std::string name = "") {
    Seen seen;
    seen.kind = std::move(kind);
    seen.name = std::move(name);
    return seen;
}

std::optional<std::string> abFor(const KoContextProperties* context, KoEventType type) {
    if (context == nullptr) {
        return std::nullopt;
    }
    for (const auto& entry : context->getEventProperties(type)) {
        if (entry.key == "koc_ab") {
            return *entry.value;
        }
    }
    return std::nullopt;
}

// Stands in for the real tracker behind the wrapper: records each event it is handed.
class RecordingTracker : public UsageTracker {
public:
    RecordingTracker(std::shared_ptr<Log> log, std::function<void()> duringTask)
        : log_(std::move(log)), duringTask_(std::move(duringTask)) {}

    void trackTask(const KoEventTask& e, const KoContextProperties* context) override {
        if (duringTask_) {
            duringTask_();
        }
        record({"Task", e.name, e.reason, e.elapsedSec, e.result, std::nullopt,
                abFor(context, KoEventType::Task)});
    }
    void trackClick(const KoEventClick& e, const KoContextProperties* context) override {
        record({"Click", e.name, "", std::nullopt, std::nullopt, e.clickType,
                abFor(context, KoEventType::Click)});
    }
    void trackView(const KoEventView& e, const KoContextProperties* context) override {
        record({"View", e.name, "", std::nullopt, std::nullopt, std::nullopt,
                abFor(context, KoEventType::View)});
    }
    void trackCrash(const std::string& reason) override { record(bare("Crash", reason)); }

    // The helpers use none of these.
    void trackActivity(const KoContextProperties*) override { record(bare("Activity")); }
    void trackLaunch(const KoContextProperties*) override { record(bare("Launch")); }
    void trackLogin(const KoUserInfo&, bool, const std::string&,
                    const KoContextProperties*) override {
        record(bare("Login"));
    }
    void trackCashier(const KoEventCashier&, const KoContextProperties*) override {
        record(bare("Cashier"));
    }
    void trackShare(const KoEventShare&, const KoContextProperties*) override {
        record(bare("Share"));
    }
    void trackFile(const KoEventFile&, const KoContextProperties*) override {
        record(bare("File"));
    }
    void trackOrder(const KoEventOrder&, const KoContextProperties*) override {
        record(bare("Order"));
    }
    void trackPayment(const KoEventPayment&, const KoContextProperties*) override {
        record(bare("Payment"));
    }
    void trackUninstall(const KoEventUninstall&, const KoContextProperties*) override {
        record(bare("Uninstall"));
    }
    void trackUpdate(const KoEventUpdate&, const KoContextProperties*) override {
        record(bare("Update"));
    }
    void trackAppOpenNotification(const KoAppOpenNotification*,
                                  const KoContextProperties*) override {
        record(bare("AppOpenNotification"));
    }
    void setLocale(const std::string&) override {}
    std::string getPrimaryDistinctId() override { return {}; }
    TrackLogger* getTrackLogger() override { return nullptr; }

private:
    void record(Seen seen) {
        const std::lock_guard lock(log_->mutex);
        if (log_->released) {
            ++log_->afterRelease;
        }
        log_->seen.push_back(std::move(seen));
        log_->changed.notify_all();
    }

    std::shared_ptr<Log> log_;
    std::function<void()> duringTask_;
};

const AppUsageExtras kAbIn{{L"AB", L"IN"}};

Seen task(std::string name, std::string reason = "", float elapsedSec = 0) {
    return {"Task", std::move(name), std::move(reason), elapsedSec, KoResult::Success, std::nullopt,
            "IN"};
}

Seen crash() {
    return bare("Crash", "崩溃");
}

// Every test starts with no tracker published, nothing kept and analytics enabled, and leaves
// the process that way.
class AppUsage : public testing::Test {
protected:
    void SetUp() override {
        savedEnabled_ = g_settings.IsEnableAppUsage;
        reset();
    }
    void TearDown() override {
        reset();
        g_settings.IsEnableAppUsage = savedEnabled_;
    }

    static std::shared_ptr<Log> publishRecorder(std::function<void()> duringTask = {}) {
        auto log = std::make_shared<Log>();
        publishProcessTracker(std::make_shared<UsageTrackerWrapper>(
            std::make_unique<RecordingTracker>(log, std::move(duringTask))));
        return log;
    }

private:
    static void reset() {
        releaseProcessTracker();
        // Publishing while analytics is off discards whatever was kept.
        g_settings.IsEnableAppUsage = false;
        publishProcessTracker(nullptr);
        g_settings.IsEnableAppUsage = true;
    }

    bool savedEnabled_ = true;
};

TEST_F(AppUsage, ReportsCarryTheHelpersFixedFields) {
    const struct {
        const char* name;
        std::function<void()> report;
        Seen expected;
    } cases[] = {
        {"task", [] { AppUsageTrackTask(L"开始下载大包", L"", 0, kAbIn); }, task("开始下载大包")},
        {"task with reason and elapsed",
         [] { AppUsageTrackTask(L"下载失败原因", L"错误 28", 12.5f, kAbIn); },
         task("下载失败原因", "错误 28", 12.5f)},
        {"click",
         [] { AppUsageTrackClick(L"立即安装", kAbIn); },
         {"Click", "立即安装", "", std::nullopt, std::nullopt, KoClickType::Button, "IN"}},
        {"view",
         [] { AppUsageTrackInstallingView(kAbIn); },
         {"View", "安装中", "", std::nullopt, std::nullopt, std::nullopt, "IN"}},
        {"crash", [] { AppUsageTrackCrash(); }, crash()},
        {"no extras",
         [] { AppUsageTrackClick(L"立即体验", {}); },
         {"Click", "立即体验", "", std::nullopt, std::nullopt, KoClickType::Button, std::nullopt}},
        {"extras without AB",
         [] {
             AppUsageTrackInstallingView({{L"ab", L"IN"}, {L"X", L"IN"}});
         },
         {"View", "安装中", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
        {"empty AB",
         [] {
             AppUsageTrackTask(L"安装成功", L"", 0, {{L"AB", L""}});
         },
         {"Task", "安装成功", "", 0.0f, KoResult::Success, std::nullopt, std::nullopt}},
        {"other valid AB",
         [] {
             AppUsageTrackTask(L"安装成功", L"", 0, {{L"AB", L"Z9"}});
         },
         {"Task", "安装成功", "", 0.0f, KoResult::Success, std::nullopt, "Z9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto log = publishRecorder();
        c.report();
        EXPECT_EQ(log->snapshot(), std::vector<Seen>{c.expected});
        releaseProcessTracker();
    }
}

TEST_F(AppUsage, MalformedAbRaisesAndReportsNothing) {
    const auto log = publishRecorder();
    EXPECT_THROW(AppUsageTrackClick(L"立即安装", {{L"AB", L"in"}}), KoException);
    EXPECT_THROW(AppUsageTrackTask(L"安装成功", L"", 0, {{L"AB", L"ABCD"}}), KoException);
    EXPECT_TRUE(log->snapshot().empty());
}

TEST_F(AppUsage, DisabledHelpersDoNothingNowOrLater) {
    const auto report = [] {
        AppUsageTrackTask(L"下载器启动", L"", 0, {{L"AB", L"bad"}});
        AppUsageTrackClick(L"立即安装", {{L"AB", L"bad"}});
        AppUsageTrackInstallingView({{L"AB", L"bad"}});
        AppUsageTrackCrash();
    };
    g_settings.IsEnableAppUsage = false;
    // Not even the malformed AB is looked at: no event is built.
    EXPECT_NO_THROW(report());  // nothing published: nothing is kept either
    const auto log = publishRecorder();
    EXPECT_NO_THROW(report());
    g_settings.IsEnableAppUsage = true;
    releaseProcessTracker();
    const auto later = publishRecorder();
    EXPECT_TRUE(log->snapshot().empty());
    EXPECT_TRUE(later->snapshot().empty());
}

TEST_F(AppUsage, ReportsWithoutTrackerAreHandedToTheNextOneInOrder) {
    AppUsageTrackTask(L"libcurl初始化失败", L"", 0, kAbIn);
    AppUsageTrackCrash();
    const auto log = publishRecorder();
    AppUsageTrackTask(L"下载器启动", L"", 0, kAbIn);
    EXPECT_EQ(log->snapshot(),
              (std::vector<Seen>{task("libcurl初始化失败"), crash(), task("下载器启动")}));

    // After a release they are kept again, for a tracker published later.
    releaseProcessTracker();
    AppUsageTrackTask(L"崩溃退出", L"", 0, kAbIn);
    const auto next = publishRecorder();
    EXPECT_EQ(next->snapshot(), std::vector<Seen>{task("崩溃退出")});
    EXPECT_EQ(log->snapshot().size(), 3u);
}

TEST_F(AppUsage, KeptReportsAreBoundedDroppingTheOldest) {
    const std::size_t made = kMaxPendingReports + 3;
    for (std::size_t i = 0; i < made; ++i) {
        AppUsageTrackTask(L"t" + std::to_wstring(i), L"", 0, kAbIn);
    }
    const auto log = publishRecorder();
    std::vector<Seen> expected;
    for (std::size_t i = made - kMaxPendingReports; i < made; ++i) {
        expected.push_back(task("t" + std::to_string(i)));
    }
    EXPECT_EQ(log->snapshot(), expected);
}

TEST_F(AppUsage, KeptReportsAreDiscardedWhenAnalyticsIsOffAtPublish) {
    AppUsageTrackTask(L"libcurl初始化失败", L"", 0, kAbIn);
    g_settings.IsEnableAppUsage = false;
    const auto log = publishRecorder();
    g_settings.IsEnableAppUsage = true;
    releaseProcessTracker();
    const auto next = publishRecorder();
    EXPECT_TRUE(log->snapshot().empty());
    EXPECT_TRUE(next->snapshot().empty());
}

// The crash handler can interrupt a thread in the middle of a report, or another thread while
// the tracker is being published. Either way the crash report must not wait: it is dropped.
TEST_F(AppUsage, CrashReportNeverWaitsForTheTracker) {
    AppUsageTrackTask(L"kept", L"", 0, kAbIn);
    // Runs inside every trackTask: first while "kept" is delivered by the publish, which holds
    // the tracker exclusively; then inside the report "outer" on this very thread, while other
    // threads can still share the tracker (so only the other thread's crash gets through).
    const auto log = publishRecorder([] {
        std::thread([] { AppUsageTrackCrash(); }).join();
        AppUsageTrackCrash();
        AppUsageTrackTask(L"nested", L"", 0, kAbIn);
    });
    AppUsageTrackTask(L"outer", L"", 0, kAbIn);
    EXPECT_EQ(log->snapshot(), (std::vector<Seen>{task("kept"), crash(), task("outer")}));
}

TEST_F(AppUsage, ReleaseWaitsForReportsInsideTheTracker) {
    constexpr int kThreads = 4;
    constexpr int kReportsPerThread = 400;
    constexpr std::size_t kSeenBeforeRelease = 50;
    const auto log = publishRecorder();
    std::vector<std::thread> reporters;
    for (int t = 0; t < kThreads; ++t) {
        reporters.emplace_back([t] {
            for (int i = 0; i < kReportsPerThread; ++i) {
                if (i % 10 == 0) {
                    AppUsageTrackCrash();
                } else {
                    AppUsageTrackTask(L"r" + std::to_wstring(t), L"", 0, kAbIn);
                }
            }
        });
    }
    {
        std::unique_lock lock(log->mutex);
        log->changed.wait(lock, [&] { return log->seen.size() >= kSeenBeforeRelease; });
    }
    auto tracker = releaseProcessTracker();
    {
        const std::lock_guard lock(log->mutex);
        log->released = true;
    }
    // Destroyed here, on this thread, while the reporters may still be running.
    tracker.reset();
    for (auto& reporter : reporters) {
        reporter.join();
    }
    const std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->afterRelease, 0);
    EXPECT_GE(log->seen.size(), kSeenBeforeRelease);
}

}  // namespace

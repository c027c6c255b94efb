#include "usage/app_usage.h"

#include <deque>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <variant>

#include "platform/text_encoding.h"
#include "settings/installer_settings.h"
#include "utils/text.h"

using pelta::usage::KoClickType;
using pelta::usage::KoContextProperties;
using pelta::usage::KoEventClick;
using pelta::usage::KoEventTask;
using pelta::usage::KoEventType;
using pelta::usage::KoEventView;
using pelta::usage::KoResult;
using pelta::usage::UsageTracker;

namespace {

constexpr wchar_t kAbExtraKey[] = L"AB";
constexpr wchar_t kInstallingViewName[] = L"安装中";
constexpr wchar_t kCrashReason[] = L"崩溃";

std::string toUtf8(const std::wstring& text) {
    return Utils::ToNarrow(text, platform::kCodePageUtf8);
}

struct CrashRecord {
    std::string reason;
};

// One report, complete with its context, so that it can wait for a tracker.
struct Report {
    std::variant<KoEventTask, KoEventClick, KoEventView, CrashRecord> record;
    KoContextProperties context;
};

// The tracker every report goes to, and the reports that came while there was none.
struct ProcessTracker {
    // Reports hold it shared for the whole call into the tracker; publishing and releasing hold
    // it exclusively. So a release cannot return while a report is still inside the tracker, and
    // the owner can then destroy the tracker on its own thread. Reports from the UI thread, the
    // download workers and the crash handler take it concurrently.
    std::shared_mutex mutex;
    std::shared_ptr<UsageTracker> tracker;

    // Reports add to it holding `mutex` only shared, hence a lock of its own; publishing empties
    // it holding `mutex` exclusively.
    std::mutex pendingMutex;
    std::deque<Report> pending;
};

ProcessTracker& processTracker() {
    // Never destroyed: the crash handler may still report while static objects are destroyed at
    // exit. A tracker is released by analytics shutdown long before that.
    static union Holder {
        Holder() : state() {}
        ~Holder() {}
        ProcessTracker state;
    } holder;
    return holder.state;
}

// Whether this thread holds ProcessTracker::mutex, in either mode. Only the crash handler can
// start a report on a thread that already does (it interrupts the thread wherever it is), and
// taking the lock again there is undefined: in practice the crashing thread would wait for
// itself. Such a report is dropped instead. Set before the lock is taken and cleared after it is
// let go, so that an interruption in between errs on the side of dropping.
thread_local bool t_holdsTrackerLock = false;

class TrackerLockFlag {
public:
    TrackerLockFlag() { t_holdsTrackerLock = true; }
    ~TrackerLockFlag() { t_holdsTrackerLock = false; }
    TrackerLockFlag(const TrackerLockFlag&) = delete;
    TrackerLockFlag& operator=(const TrackerLockFlag&) = delete;
};

void deliver(UsageTracker& tracker, const Report& report) {
    struct Deliver {
        UsageTracker& tracker;
        const KoContextProperties* context;
        void operator()(const KoEventTask& event) const { tracker.trackTask(event, context); }
        void operator()(const KoEventClick& event) const { tracker.trackClick(event, context); }
        void operator()(const KoEventView& event) const { tracker.trackView(event, context); }
        void operator()(const CrashRecord& crash) const { tracker.trackCrash(crash.reason); }
    };
    std::visit(Deliver{tracker, &report.context}, report.record);
}

enum class LockWait { Wait, TryOnly };

void submit(Report report, LockWait wait) {
    if (t_holdsTrackerLock) {
        return;
    }
    ProcessTracker& state = processTracker();
    const TrackerLockFlag flag;
    std::shared_lock lock(state.mutex, std::defer_lock);
    if (wait == LockWait::Wait) {
        lock.lock();
    } else if (!lock.try_lock()) {
        return;
    }
    if (state.tracker) {
        deliver(*state.tracker, report);
        return;
    }
    const std::lock_guard pendingLock(state.pendingMutex);
    state.pending.push_back(std::move(report));
    if (state.pending.size() > kMaxPendingReports) {
        state.pending.pop_front();
    }
}

}  // namespace

void AppUsageApplyAb(const AppUsageExtras& extras, const std::vector<KoEventType>& eventTypes,
                     KoContextProperties& context) {
    const auto ab = extras.find(kAbExtraKey);
    if (ab == extras.end()) {
        return;
    }
    const std::string value = toUtf8(ab->second);
    if (KoContextProperties::isValidABValue(value)) {
        context.setProperty(value, eventTypes);
    }
}

void AppUsageTrackTask(const std::wstring& name, const std::wstring& reason, float elapsed,
                       AppUsageExtras extras) {
    if (!g_settings.IsEnableAppUsage) {
        return;
    }
    Report report;
    AppUsageApplyAb(extras, {KoEventType::Task}, report.context);
    KoEventTask task;
    task.name = toUtf8(name);
    task.reason = toUtf8(reason);
    task.elapsedSec = elapsed;
    task.result = KoResult::Success;
    report.record = std::move(task);
    submit(std::move(report), LockWait::Wait);
}

void AppUsageTrackClick(const std::wstring& name, AppUsageExtras extras) {
    if (!g_settings.IsEnableAppUsage) {
        return;
    }
    Report report;
    AppUsageApplyAb(extras, {KoEventType::Click}, report.context);
    KoEventClick click;
    click.name = toUtf8(name);
    click.clickType = KoClickType::Button;
    report.record = std::move(click);
    submit(std::move(report), LockWait::Wait);
}

void AppUsageTrackInstallingView(AppUsageExtras extras) {
    if (!g_settings.IsEnableAppUsage) {
        return;
    }
    Report report;
    AppUsageApplyAb(extras, {KoEventType::View}, report.context);
    KoEventView view;
    view.name = toUtf8(kInstallingViewName);
    report.record = std::move(view);
    submit(std::move(report), LockWait::Wait);
}

void AppUsageTrackCrash() {
    if (!g_settings.IsEnableAppUsage) {
        return;
    }
    // The crash handler may run while another thread publishes or releases the tracker; waiting
    // there would hold up the crash report, and the handler's alarm would end the process
    // without it anyway. Better to drop this one report.
    submit(Report{CrashRecord{toUtf8(kCrashReason)}, KoContextProperties()}, LockWait::TryOnly);
}

void publishProcessTracker(std::shared_ptr<UsageTracker> tracker) {
    ProcessTracker& state = processTracker();
    const TrackerLockFlag flag;
    // Held exclusively while the kept reports are delivered, so that reports arriving meanwhile
    // come after them.
    const std::unique_lock lock(state.mutex);
    state.tracker = std::move(tracker);
    std::deque<Report> pending;
    {
        const std::lock_guard pendingLock(state.pendingMutex);
        pending.swap(state.pending);
    }
    if (!state.tracker || !g_settings.IsEnableAppUsage) {
        return;
    }
    for (const Report& report : pending) {
        deliver(*state.tracker, report);
    }
}

std::shared_ptr<UsageTracker> releaseProcessTracker() {
    ProcessTracker& state = processTracker();
    const TrackerLockFlag flag;
    const std::unique_lock lock(state.mutex);
    return std::exchange(state.tracker, nullptr);
}

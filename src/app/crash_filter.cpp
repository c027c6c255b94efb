#include "app/crash_filter.h"

#include "platform/crash_handler.h"
#include "usage/sdk.h"

namespace {

// The reports the crash handler makes. Written once by the entry before any worker thread
// exists and only read afterwards, from whichever thread crashes.
struct CrashReports {
    std::function<void(const std::wstring&)> trackTask;
    std::function<void()> trackCrash;
};

CrashReports& crashReports() {
    static CrashReports reports;
    return reports;
}

void crashFilter() {
    const CrashReports& reports = crashReports();
    if (reports.trackTask) {
        reports.trackTask(L"崩溃退出");
    }
    if (reports.trackCrash) {
        reports.trackCrash();
    }
    // The reports only queue their records (the send they ask for runs on a thread the dying
    // process will not wait for), so the queue goes to the staging file here and the next run
    // sends it.
    usage_analytics::Sdk::SaveStaging();
}

}  // namespace

void installCrashFilter(const EntrySeams& seams) {
    crashReports() = CrashReports{seams.trackTask, seams.trackCrash};
    platform::installCrashHandler(&crashFilter);
}

#include "app/crash_filter.h"

#include "platform/crash_handler.h"

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
}

}  // namespace

void installCrashFilter(const EntrySeams& seams) {
    crashReports() = CrashReports{seams.trackTask, seams.trackCrash};
    platform::installCrashHandler(&crashFilter);
}

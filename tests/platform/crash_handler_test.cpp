#include "platform/crash_handler.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "support/child_process.h"

namespace {

// The reporter is a plain function pointer, so it finds its pipe at a fixed descriptor number
// that each crashing child sets up.
constexpr int kReportFd = 100;

void reportByte() {
    const char byte = 'r';
    (void)!write(kReportFd, &byte, 1);
}

void reportThenHang() {
    reportByte();
    sigset_t nothingBlocked;
    sigemptyset(&nothingBlocked);
    for (;;) {
        sigsuspend(&nothingBlocked);
    }
}

// UBSan would stop at the null store itself; the fault is what this test is about.
__attribute__((no_sanitize("undefined"))) void writeThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

int recurseForever(int depth, int limit) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth == limit) {
        return 0;
    }
    return recurseForever(depth + 1, limit) + frame[0];
}

void overflowStack() {
    volatile int limit = INT_MAX;
    recurseForever(0, limit);
}

void overflowWorkerStack() {
    std::thread worker([] {
        platform::CrashStack crashStack;
        overflowStack();
    });
    worker.join();
}

void throwIt() {
    throw std::runtime_error("unhandled");
}

void throwThroughNoexcept() noexcept {
    throwIt();
}

struct Outcome {
    int reports = 0;
    int status = 0;
};

Outcome runCrashingChild(void (*crash)(), platform::CrashReporter reporter,
                         unsigned reportTimeoutSec = platform::kCrashReportTimeoutSec) {
    const test_support::ChildRun run = test_support::runInChild([&](int reportPipe) {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        dup2(reportPipe, kReportFd);
        platform::installCrashHandler(reporter, reportTimeoutSec);
        crash();
        return 0;
    });
    return {static_cast<int>(run.output.size()), run.status};
}

TEST(CrashHandler, ReportsOnceThenDiesOfTheOriginalSignal) {
    struct Case {
        const char* label;
        void (*crash)();
        int signal;
    };
    const Case cases[] = {
        {"null write", writeThroughNull, SIGSEGV},
        {"abort", std::abort, SIGABRT},
        {"terminate", throwThroughNoexcept, SIGABRT},
        {"main thread stack overflow", overflowStack, SIGSEGV},
        {"worker stack overflow", overflowWorkerStack, SIGSEGV},
        {"SIGBUS", [] { raise(SIGBUS); }, SIGBUS},
        {"SIGILL", [] { raise(SIGILL); }, SIGILL},
        {"SIGFPE", [] { raise(SIGFPE); }, SIGFPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Outcome outcome = runCrashingChild(c.crash, reportByte);
        EXPECT_EQ(outcome.reports, 1);
        ASSERT_TRUE(WIFSIGNALED(outcome.status)) << "status " << outcome.status;
        EXPECT_EQ(WTERMSIG(outcome.status), c.signal) << strsignal(WTERMSIG(outcome.status));
    }
}

TEST(CrashHandler, HangingReporterIsCutOffByTheAlarm) {
    const Outcome outcome = runCrashingChild(writeThroughNull, reportThenHang, 1);
    EXPECT_EQ(outcome.reports, 1);
    ASSERT_TRUE(WIFSIGNALED(outcome.status));
    EXPECT_EQ(WTERMSIG(outcome.status), SIGSEGV);
}

}  // namespace

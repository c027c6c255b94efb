#include "platform/crash_handler.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <exception>

namespace platform {

namespace {

// Independent of SIGSTKSZ, which newer glibc computes at run time and which is too small for a
// reporter that formats text anyway.
constexpr std::size_t kCrashStackBytes = 64 * 1024;

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// The one piece of process-wide state: a signal handler gets no argument to find the reporter
// through. Everything here is written before the handlers are installed or inside the single
// reporting pass (guarded by `reported`), and is lock-free so the handlers may read it.
struct CrashState {
    std::atomic<CrashReporter> reporter{nullptr};
    std::atomic<unsigned> reportTimeoutSec{kCrashReportTimeoutSec};
    std::atomic_flag reported = ATOMIC_FLAG_INIT;
    std::atomic<int> originalSignal{0};
    std::atomic<pid_t> reportingThread{0};
};

CrashState gCrash;

static_assert(std::atomic<CrashReporter>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<pid_t>::is_always_lock_free);

pid_t kernelThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// Ends the process the way the signal would have without us: default action, signal unblocked
// (a handler runs with its own signal blocked), raised on this thread.
[[noreturn]] void dieOf(int signalNumber) {
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    raise(signalNumber);
    // Only reached when the signal's default action does not end a process, which none of ours
    // does; still, a crashed process must not run on.
    _exit(128 + signalNumber);
}

void onReportTimeout(int) {
    dieOf(gCrash.originalSignal.load());
}

void armReportTimeout() {
    struct sigaction timeoutAction {};
    timeoutAction.sa_handler = onReportTimeout;
    timeoutAction.sa_flags = SA_ONSTACK;
    sigemptyset(&timeoutAction.sa_mask);
    sigaction(SIGALRM, &timeoutAction, nullptr);
    alarm(gCrash.reportTimeoutSec.load());
}

[[noreturn]] void handleCrash(int signalNumber) {
    const pid_t self = kernelThreadId();
    if (gCrash.reported.test_and_set()) {
        if (gCrash.reportingThread.load() == self) {
            // Re-entered from the report itself (terminate's abort, a crashing reporter): the
            // process dies of what started it.
            dieOf(gCrash.originalSignal.load());
        }
        // Another thread is reporting; it (or its alarm) ends the process. Waiting here keeps
        // this thread's crash from cutting that report short.
        for (;;) {
            pause();
        }
    }
    gCrash.originalSignal.store(signalNumber);
    gCrash.reportingThread.store(self);
    armReportTimeout();
    if (const CrashReporter reporter = gCrash.reporter.load()) {
        reporter();
    }
    alarm(0);
    dieOf(signalNumber);
}

void onCrashSignal(int signalNumber, siginfo_t*, void*) {
    handleCrash(signalNumber);
}

[[noreturn]] void onTerminate() {
    handleCrash(SIGABRT);
}

}  // namespace

void installCrashHandler(CrashReporter reporter, unsigned reportTimeoutSec) {
    gCrash.reporter.store(reporter);
    gCrash.reportTimeoutSec.store(reportTimeoutSec);
    // Lives as long as the process: the installing thread is normally the main thread, which may
    // crash until the very end.
    static CrashStack installingThreadStack;

    struct sigaction crashAction {};
    crashAction.sa_sigaction = onCrashSignal;
    crashAction.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&crashAction.sa_mask);
    for (const int signalNumber : kCrashSignals) {
        sigaction(signalNumber, &crashAction, nullptr);
    }
    std::set_terminate(onTerminate);
}

CrashStack::CrashStack() : stack_(std::make_unique<char[]>(kCrashStackBytes)) {
    stack_t ours{};
    ours.ss_sp = stack_.get();
    ours.ss_size = kCrashStackBytes;
    ours.ss_flags = 0;
    if (sigaltstack(&ours, &previous_) != 0) {
        // Without an alternate stack the handlers still run for every crash but an overflow.
        stack_.reset();
    }
}

CrashStack::~CrashStack() {
    if (!stack_) {
        return;
    }
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || current.ss_sp != stack_.get()) {
        // Destroyed on another thread than it was made on, or replaced since: the calling
        // thread's stack is not ours to change.
        return;
    }
    if (previous_.ss_flags & SS_DISABLE) {
        stack_t disabled{};
        disabled.ss_flags = SS_DISABLE;
        sigaltstack(&disabled, nullptr);
    } else {
        sigaltstack(&previous_, nullptr);
    }
}

}  // namespace platform

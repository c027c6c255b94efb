#pragma once

#include <signal.h>

#include <memory>

// The process-wide crash handler: on SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT or std::terminate
// it runs the reporter once, on the crashing thread, then lets the process die of the original
// signal as it would have without us. The reporter runs on an alternate signal stack, so a stack
// overflow is reported too, and under an alarm, so a reporter that hangs cannot keep a dead
// process alive.
namespace platform {

using CrashReporter = void (*)();

// Long enough for a reporter that writes a log line and hands a record to the network; a dead
// process that lingers longer than this looks hung to the user.
inline constexpr unsigned kCrashReportTimeoutSec = 10;

// Installs the handlers and gives the calling thread its alternate stack. Call once, early.
void installCrashHandler(CrashReporter reporter,
                         unsigned reportTimeoutSec = kCrashReportTimeoutSec);

// Gives the calling thread an alternate signal stack for as long as the object lives. Every
// thread that can crash holds one; the worker-thread class does this for its threads. Create and
// destroy it on the same thread.
class CrashStack {
public:
    CrashStack();
    ~CrashStack();
    CrashStack(const CrashStack&) = delete;
    CrashStack& operator=(const CrashStack&) = delete;

private:
    std::unique_ptr<char[]> stack_;
    stack_t previous_{};
};

}  // namespace platform

#pragma once

#include <memory>

// The process-wide crash handler: on SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT or std::terminate
// it runs the reporter once, on the crashing thread, then lets the process die of the original
// signal as it would have without us. The reporter runs on an alternate signal stack, so a stack
// overflow is reported too, and under an alarm, so a reporter that hangs cannot keep a dead
// process alive.
namespace platform {

using CrashReporter = void (*)();

// Installs the handlers and gives the calling thread its alternate stack.
void installCrashHandler(CrashReporter reporter);

// Gives the calling thread an alternate signal stack for as long as the object lives. Every
// thread that can crash holds one; the worker-thread class does this for its threads.
class CrashStack {
public:
    CrashStack();
    ~CrashStack();
    CrashStack(const CrashStack&) = delete;
    CrashStack& operator=(const CrashStack&) = delete;

private:
    std::unique_ptr<char[]> stack_;
};

}  // namespace platform

#include "utils/thread.h"

#include <exception>
#include <system_error>
#include <utility>

#include "platform/crash_handler.h"
#include "platform/text_encoding.h"
#include "platform/threads.h"
#include "utils/log.h"
#include "utils/text.h"

namespace Utils {

Thread::Thread(void* parameter, std::wstring name, Entry entry)
    : parameter_(parameter), name_(std::move(name)), entry_(std::move(entry)) {
    try {
        thread_ = std::thread(&Thread::CallBack, this);
    } catch (const std::system_error&) {
        // No thread: Resume() reports false and nothing ever runs.
        return;
    }
    std::unique_lock lock(mutex_);
    stateChanged_.wait(lock, [this] { return id_ != kNoThreadId; });
    const std::uint32_t id = id_;
    lock.unlock();

    // A name is a debugging aid: failing to build it must not cost the thread.
    try {
        const std::string threadName =
            name_.empty() ? "t" + std::to_string(id) : ToNarrow(name_, platform::kCodePageAnsi);
        platform::setThreadName(thread_.native_handle(), threadName);
    } catch (const std::exception&) {
    }
}

Thread::~Thread() {
    Join();
    name_.clear();
    entry_ = nullptr;
}

bool Thread::Resume() {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable() || state_ != State::Suspended) {
        return false;
    }
    state_ = State::Running;
    // Notified under the lock: once the entry runs it may destroy this object, condition
    // variable included, so nothing of it may be touched after the unlock.
    stateChanged_.notify_all();
    return true;
}

void Thread::Join() {
    if (!thread_.joinable()) {
        return;
    }
    {
        // A thread that was never resumed would wait for ever: let it end without its entry.
        std::lock_guard lock(mutex_);
        if (state_ == State::Suspended) {
            state_ = State::Released;
            stateChanged_.notify_all();
        }
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        // The entry is tearing down its own owner: let the thread finish on its own.
        thread_.detach();
    } else {
        thread_.join();
    }
    std::lock_guard lock(mutex_);
    id_ = kNoThreadId;
}

std::uint32_t Thread::id() const {
    std::lock_guard lock(mutex_);
    return id_;
}

void Thread::CallBack() {
    platform::CrashStack crashStack;
    Entry entry;
    void* parameter = nullptr;
    {
        std::unique_lock lock(mutex_);
        id_ = platform::currentThreadId();
        stateChanged_.notify_all();
        stateChanged_.wait(lock, [this] { return state_ != State::Suspended; });
        if (state_ == State::Released) {
            return;
        }
        // The entry may destroy this object (its owner lives in what it reaches through the
        // parameter), so from here on only these copies are used.
        entry = std::move(entry_);
        parameter = parameter_;
    }
    Log({L"Utils::Thread::CallBack"}, L"THREAD BEGIN\r\n");
    if (entry) {
        entry(parameter);
    }
    Log({L"Utils::Thread::CallBack"}, L"THREAD END\r\n");
}

}  // namespace Utils

#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace Utils {

// A worker thread that is created suspended: the entry runs only after Resume(). It carries a
// debugger name, logs "THREAD BEGIN" and "THREAD END" around the entry, and is joined by its
// owner on destruction.
class Thread {
public:
    using Entry = std::function<void(void* parameter)>;

    // An empty name gives the thread the name "t" followed by its id.
    Thread(void* parameter, std::wstring name, Entry entry);

    // Joins; a thread that was never resumed is let go without running its entry.
    ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // True when the thread was created and has not been resumed before.
    bool Resume();

    // Waits for the entry to end, without time limit; a thread that was never resumed is let go
    // without running its entry. Called from the thread itself (an entry that ends up destroying
    // its owner) it does not wait, so the thread never joins itself.
    void Join();

    // The system id of the thread; 0xFFFFFFFF once it was joined.
    std::uint32_t id() const;

private:
    enum class State { Suspended, Running, Released };
    static constexpr std::uint32_t kNoThreadId = 0xFFFFFFFF;

    void CallBack();

    void* parameter_;
    std::wstring name_;
    Entry entry_;

    // Shared between the owner and the new thread until the entry starts.
    mutable std::mutex mutex_;
    std::condition_variable stateChanged_;
    State state_ = State::Suspended;
    std::uint32_t id_ = kNoThreadId;

    std::thread thread_;
};

}  // namespace Utils

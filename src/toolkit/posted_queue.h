#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "toolkit/notification.h"

namespace SkinUI {

struct PostedItem {
    enum class Kind { Message, Notification, Quit };
    Kind kind = Kind::Message;
    std::uint64_t windowId = 0;
    Message message;
    Notification notification;
    int quitCode = 0;
};

// The one queue of the UI thread: posted messages, queued notifications and quit requests of
// every window, in the order they were posted. Any thread pushes; only the UI thread pops.
class PostedQueue {
public:
    void push(PostedItem item);
    std::optional<PostedItem> pop();
    bool empty() const;
    // Blocks until something is queued or the time is up; true when something is queued.
    bool waitFor(std::chrono::milliseconds timeout);
    // Called after every push, on the pushing thread, outside the lock: how a host's loop is
    // woken. Set once by the host before any window exists.
    void setWakeUp(std::function<void()> wakeUp);

private:
    mutable std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<PostedItem> items_;
    std::function<void()> wakeUp_;
};

// How another thread reaches a window: a copy of this can outlive the window, and posting to a
// window that is gone is dropped when its turn comes.
class WindowHandle {
public:
    WindowHandle() = default;
    WindowHandle(std::shared_ptr<PostedQueue> queue, std::uint64_t windowId)
        : queue_(std::move(queue)), windowId_(windowId) {}

    bool postMessage(std::uint32_t id, std::uintptr_t wParam = 0, std::intptr_t lParam = 0,
                     std::unique_ptr<MessagePayload> payload = nullptr) const;
    bool postNotification(Notification notification) const;
    std::uint64_t windowId() const { return windowId_; }

private:
    std::shared_ptr<PostedQueue> queue_;
    std::uint64_t windowId_ = 0;
};

}  // namespace SkinUI

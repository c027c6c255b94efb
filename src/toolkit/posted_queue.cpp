#include "toolkit/posted_queue.h"

namespace SkinUI {

void PostedQueue::push(PostedItem item) {
    std::function<void()> wakeUp;
    {
        const std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
        wakeUp = wakeUp_;
    }
    queued_.notify_all();
    if (wakeUp) {
        wakeUp();
    }
}

std::optional<PostedItem> PostedQueue::pop() {
    const std::lock_guard lock(mutex_);
    if (items_.empty()) {
        return std::nullopt;
    }
    PostedItem item = std::move(items_.front());
    items_.pop_front();
    return item;
}

bool PostedQueue::empty() const {
    const std::lock_guard lock(mutex_);
    return items_.empty();
}

bool PostedQueue::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return queued_.wait_for(lock, timeout, [this] { return !items_.empty(); });
}

void PostedQueue::setWakeUp(std::function<void()> wakeUp) {
    const std::lock_guard lock(mutex_);
    wakeUp_ = std::move(wakeUp);
}

bool WindowHandle::postMessage(std::uint32_t id, std::uintptr_t wParam, std::intptr_t lParam,
                               std::unique_ptr<MessagePayload> payload) const {
    if (!queue_) {
        return false;
    }
    PostedItem item;
    item.kind = PostedItem::Kind::Message;
    item.windowId = windowId_;
    item.message = Message{id, wParam, lParam, std::move(payload)};
    queue_->push(std::move(item));
    return true;
}

bool WindowHandle::postNotification(Notification notification) const {
    if (!queue_) {
        return false;
    }
    PostedItem item;
    item.kind = PostedItem::Kind::Notification;
    item.windowId = windowId_;
    item.notification = std::move(notification);
    queue_->push(std::move(item));
    return true;
}

}  // namespace SkinUI

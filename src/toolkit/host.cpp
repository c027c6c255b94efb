#include "toolkit/host.h"

#include <algorithm>

#include "toolkit/window.h"

namespace SkinUI {

namespace {

// Due times live on a 32-bit millisecond clock that wraps; compare them by distance.
bool dueBefore(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) < 0;
}

}  // namespace

Host::Host() : queue_(std::make_shared<PostedQueue>()) {}

Host::~Host() = default;

void Host::registerWindow(Window& window) {
    windows_[window.id()] = &window;
}

void Host::unregisterWindow(Window& window) {
    windows_.erase(window.id());
    std::erase_if(timers_, [&](const Timer& timer) { return timer.window == &window; });
}

Window* Host::newestWindow() const {
    // Ids only grow, so the highest key is the newest window.
    return windows_.empty() ? nullptr : windows_.rbegin()->second;
}

bool Host::dispatchOne() {
    std::optional<PostedItem> item = queue_->pop();
    if (!item) {
        return false;
    }
    if (item->kind == PostedItem::Kind::Quit) {
        quitCode_ = item->quitCode;
        return true;
    }
    const auto found = windows_.find(item->windowId);
    if (found != windows_.end()) {
        found->second->dispatchPosted(*item);
    }
    return true;
}

void Host::postQuit(int code) {
    PostedItem item;
    item.kind = PostedItem::Kind::Quit;
    item.quitCode = code;
    queue_->push(std::move(item));
}

void Host::setTimer(Window& window, Control& control, std::uint32_t id, std::uint32_t periodMs) {
    killTimer(control, id);
    // A zero period would fire forever within one instant; a period of half the 32-bit clock or
    // more would look already due on the wrapping clock, so it is cut to the longest one that
    // does not (the longest timer period a system allows as well).
    const std::uint32_t period = std::clamp<std::uint32_t>(periodMs, 1, kMaxTimerPeriodMs);
    timers_.push_back({&window, &control, id, period, nowMs() + period, timerOrder_++});
    timersChanged();
}

void Host::killTimer(const Control& control, std::uint32_t id) {
    const auto removed = std::erase_if(
        timers_, [&](const Timer& timer) { return timer.control == &control && timer.id == id; });
    if (removed > 0) {
        timersChanged();
    }
}

void Host::killTimers(const Control& control) {
    if (std::erase_if(timers_, [&](const Timer& timer) { return timer.control == &control; }) > 0) {
        timersChanged();
    }
}

bool Host::hasTimer(const Control& control, std::uint32_t id) const {
    return std::any_of(timers_.begin(), timers_.end(), [&](const Timer& timer) {
        return timer.control == &control && timer.id == id;
    });
}

std::optional<std::uint32_t> Host::nextTimerDue() const {
    std::optional<std::uint32_t> next;
    for (const Timer& timer : timers_) {
        if (!next || dueBefore(timer.dueMs, *next)) {
            next = timer.dueMs;
        }
    }
    return next;
}

bool Host::fireDueTimer(std::uint32_t now) {
    auto earliest = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (dueBefore(now, it->dueMs)) {
            continue;
        }
        if (earliest == timers_.end() || dueBefore(it->dueMs, earliest->dueMs) ||
            (it->dueMs == earliest->dueMs && it->order < earliest->order)) {
            earliest = it;
        }
    }
    if (earliest == timers_.end()) {
        return false;
    }
    // Rescheduled before the handler runs: the handler may kill or restart this very timer.
    earliest->dueMs += earliest->periodMs;
    Window* window = earliest->window;
    Control* control = earliest->control;
    const std::uint32_t id = earliest->id;
    timersChanged();
    window->timerFired(*control, id);
    return true;
}

}  // namespace SkinUI

#include "toolkit/headless_host.h"

#include "toolkit/window.h"

namespace SkinUI {

void HeadlessHost::advanceClock(std::uint32_t durationMs) {
    const std::uint32_t target = clock_.load() + durationMs;
    dispatchPending();
    while (true) {
        const auto due = nextTimerDue();
        if (!due || static_cast<std::int32_t>(*due - target) > 0) {
            break;
        }
        if (static_cast<std::int32_t>(*due - clock_.load()) > 0) {
            clock_ = *due;
        }
        fireDueTimer(clock_.load());
        dispatchPending();
    }
    clock_ = target;
    dispatchPending();
}

void HeadlessHost::dispatchPending() {
    while (!quitPosted() && dispatchOne()) {
    }
}

bool HeadlessHost::click(Window& window, std::wstring_view controlName) {
    if (!hover(window, controlName)) {
        return false;
    }
    window.updateLayout();
    const Point at = window.findControl(controlName)->rect().centre();
    window.mouseDown(at);
    window.mouseUp(at);
    return true;
}

bool HeadlessHost::hover(Window& window, std::wstring_view controlName) {
    Control* control = window.findControl(controlName);
    if (control == nullptr || !window.isAlive() || !window.isEnabled() || !window.root()) {
        return false;
    }
    window.updateLayout();
    const Point at = control->rect().centre();
    if (window.root()->hitTest(at) != control) {
        return false;
    }
    window.mouseMove(at);
    return true;
}

void HeadlessHost::pressKey(Window& window, Key key) {
    window.keyDown(key);
}

void HeadlessHost::typeText(Window& window, std::wstring_view text) {
    window.textInput(text);
}

void HeadlessHost::whenIdle(std::function<void()> action) {
    idle_.push_back(std::move(action));
}

CairoSurfacePtr HeadlessHost::render(Window& window) {
    const Size size = window.size();
    CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(size.width, 1),
                                                       std::max(size.height, 1)));
    {
        const CairoPtr cr(cairo_create(surface.get()));
        window.paint(cr.get());
    }
    cairo_surface_flush(surface.get());
    return surface;
}

bool HeadlessHost::renderToPng(Window& window, const std::string& path) {
    const CairoSurfacePtr surface = render(window);
    return cairo_surface_write_to_png(surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool HeadlessHost::isShown(const Window& window) const {
    const auto found = shown_.find(window.id());
    return found != shown_.end() && found->second;
}

void HeadlessHost::windowCreated(Window& window) {
    shown_[window.id()] = false;
}

void HeadlessHost::windowDestroyed(Window& window) {
    shown_.erase(window.id());
}

void HeadlessHost::showWindow(Window& window, bool show) {
    shown_[window.id()] = show;
}

void HeadlessHost::runLoop(const std::function<bool()>& keepRunning) {
    while (keepRunning() && !quitPosted()) {
        if (dispatchOne()) {
            continue;
        }
        if (!idle_.empty()) {
            const std::function<void()> action = std::move(idle_.front());
            idle_.pop_front();
            action();
            continue;
        }
        if (!queue()->waitFor(kStallLimitMs)) {
            stalled_ = true;
            return;
        }
    }
}

bool HeadlessHost::pump(std::uint32_t durationMs, const std::function<bool()>& keepRunning) {
    dispatchPending();
    if (keepRunning() && !quitPosted()) {
        advanceClock(durationMs);
    }
    return keepRunning() && !quitPosted();
}

std::optional<std::wstring> HeadlessHost::chooseFolder(Window*, std::wstring_view title) {
    folderRequests_.emplace_back(title);
    return folderAnswer_;
}

void HeadlessHost::showSystemMessage(Window* owner, std::wstring_view text,
                                     std::wstring_view caption, MessageIcon icon) {
    systemMessages_.push_back(
        {std::wstring(text), std::wstring(caption), icon, owner != nullptr ? owner->id() : 0});
}

}  // namespace SkinUI

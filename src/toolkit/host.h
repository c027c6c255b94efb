#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/geometry.h"
#include "toolkit/posted_queue.h"

namespace SkinUI {

class Control;
class Edit;
class Window;

enum class MessageIcon { Information, Warning, Error, Question };

// A soft shadow around a window, drawn where the system can show translucent windows.
// Sharpness and darkness are 0..255 style strengths; the offset moves it against the window.
struct WindowShadow {
    int sizePx = 0;
    int sharpness = 0;
    int darkness = 0;
    Point offset;
    Color color = 0;
};

// What a window needs from the system it is shown on. The shared half (the posted queue, the
// window registry, per-control timers) lives here; a host supplies the clock, the native
// windows, the event loop and the system dialogs. All of it runs on the UI thread except
// queue() and nowMs(), which any thread may call.
class Host {
public:
    Host();
    virtual ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    virtual std::uint32_t nowMs() const = 0;

    // Native window life: created when a layout was built, destroyed when the window closes.
    virtual void windowCreated(Window& window) = 0;
    virtual void windowDestroyed(Window& window) = 0;
    virtual void showWindow(Window& window, bool show) = 0;
    virtual void moveWindow(Window& window, Point topLeft) = 0;
    virtual Size screenSize() const = 0;
    virtual void invalidate(Window& window) = 0;
    virtual void minimize(Window& window) = 0;
    virtual void bringToFront(Window& window) = 0;
    // Title, icon and shadow are read from the window when it is created and when they change.
    virtual void windowDecorationChanged(Window&) {}
    // An edit's text or place changed from code; a host with native text entries follows it.
    virtual void editChanged(Window&, Edit&) {}
    // True when edits are native text entries drawn by the system over the window, so the
    // toolkit paints only their background.
    virtual bool hasNativeEdits() const { return false; }

    // Dispatches posted messages, timers and input until keepRunning() is false or a quit was
    // posted. Loops nest: a handler may run another loop.
    virtual void runLoop(const std::function<bool()>& keepRunning) = 0;
    // Dispatches for about the given time; false when keepRunning() turned false or a quit
    // arrived.
    virtual bool pump(std::uint32_t durationMs, const std::function<bool()>& keepRunning) = 0;

    // A folder picked by the user, nothing when cancelled.
    virtual std::optional<std::wstring> chooseFolder(Window* owner, std::wstring_view title) = 0;
    virtual void showSystemMessage(Window* owner, std::wstring_view text, std::wstring_view caption,
                                   MessageIcon icon) = 0;

    const std::shared_ptr<PostedQueue>& queue() const { return queue_; }
    std::uint64_t newWindowId() { return nextWindowId_++; }
    void registerWindow(Window& window);
    void unregisterWindow(Window& window);
    // The most recently created window that still exists: the modal prompt on top, for tests
    // that answer it.
    Window* newestWindow() const;

    // Pops one posted item and hands it to its window (dropped when the window is gone);
    // false when the queue was empty.
    bool dispatchOne();
    void postQuit(int code);
    bool quitPosted() const { return quitCode_.has_value(); }

    // Periods above this are cut to it.
    static constexpr std::uint32_t kMaxTimerPeriodMs = 0x7FFFFFFF;
    void setTimer(Window& window, Control& control, std::uint32_t id, std::uint32_t periodMs);
    void killTimer(const Control& control, std::uint32_t id);
    void killTimers(const Control& control);
    bool hasTimer(const Control& control, std::uint32_t id) const;
    std::optional<std::uint32_t> nextTimerDue() const;
    // Fires the earliest timer due at or before `now` (the oldest first among equals) and
    // schedules its next turn; false when none is due.
    bool fireDueTimer(std::uint32_t now);

protected:
    // The timer list changed: a host with a real clock reschedules its wake-up.
    virtual void timersChanged() {}

private:
    struct Timer {
        Window* window = nullptr;
        Control* control = nullptr;
        std::uint32_t id = 0;
        std::uint32_t periodMs = 0;
        std::uint32_t dueMs = 0;
        std::uint64_t order = 0;
    };

    std::shared_ptr<PostedQueue> queue_;
    std::atomic<std::uint64_t> nextWindowId_{1};
    std::map<std::uint64_t, Window*> windows_;
    std::vector<Timer> timers_;
    std::uint64_t timerOrder_ = 0;
    std::optional<int> quitCode_;
};

}  // namespace SkinUI

#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/cairo_handles.h"
#include "toolkit/control.h"
#include "toolkit/host.h"

namespace SkinUI {

// A host without a display, for tests and tools: time is a virtual clock that only moves when
// told, input is synthesised by control name, and windows render to images.
class HeadlessHost : public Host {
public:
    // A loop with nothing queued and no idle action waits this long for another thread to post
    // before it gives up (and reports the stall), so a broken test fails instead of hanging.
    static constexpr std::chrono::milliseconds kStallLimitMs{5000};
    static constexpr std::uint32_t kClockStartMs = 10'000;

    struct SystemMessage {
        std::wstring text;
        std::wstring caption;
        MessageIcon icon = MessageIcon::Information;
        std::uint64_t ownerId = 0;  // 0 without an owner
    };

    std::uint32_t nowMs() const override { return clock_.load(); }
    // Moves the clock on, firing every timer that falls due in order of due time (and posted
    // items right after each), then handles what is still queued.
    void advanceClock(std::uint32_t durationMs);
    // Handles everything queued, including what the handlers queue meanwhile.
    void dispatchPending();

    // Pointer over the control's centre, then press and release there. False when the control
    // is not what a user would hit at that point (missing, hidden, covered, window disabled).
    bool click(Window& window, std::wstring_view controlName);
    bool hover(Window& window, std::wstring_view controlName);
    void pressKey(Window& window, Key key);
    void typeText(Window& window, std::wstring_view text);

    // Each time a loop finds nothing to do it runs the oldest of these: how a test acts inside
    // a modal run.
    void whenIdle(std::function<void()> action);
    bool stalled() const { return stalled_; }

    CairoSurfacePtr render(Window& window);
    bool renderToPng(Window& window, const std::string& path);

    void setFolderAnswer(std::optional<std::wstring> answer) { folderAnswer_ = std::move(answer); }
    const std::vector<std::wstring>& folderRequests() const { return folderRequests_; }
    const std::vector<SystemMessage>& systemMessages() const { return systemMessages_; }
    void setScreenSize(Size size) { screen_ = size; }
    bool isShown(const Window& window) const;
    int minimizeCount() const { return minimized_; }

    void windowCreated(Window& window) override;
    void windowDestroyed(Window& window) override;
    void showWindow(Window& window, bool show) override;
    void moveWindow(Window&, Point) override {}
    Size screenSize() const override { return screen_; }
    void invalidate(Window&) override {}
    void minimize(Window&) override { ++minimized_; }
    void bringToFront(Window&) override {}
    void runLoop(const std::function<bool()>& keepRunning) override;
    bool pump(std::uint32_t durationMs, const std::function<bool()>& keepRunning) override;
    std::optional<std::wstring> chooseFolder(Window* owner, std::wstring_view title) override;
    void showSystemMessage(Window* owner, std::wstring_view text, std::wstring_view caption,
                           MessageIcon icon) override;

private:
    std::atomic<std::uint32_t> clock_{kClockStartMs};
    std::deque<std::function<void()>> idle_;
    bool stalled_ = false;
    std::map<std::uint64_t, bool> shown_;
    Size screen_{1920, 1080};
    int minimized_ = 0;
    std::optional<std::wstring> folderAnswer_;
    std::vector<std::wstring> folderRequests_;
    std::vector<SystemMessage> systemMessages_;
};

}  // namespace SkinUI

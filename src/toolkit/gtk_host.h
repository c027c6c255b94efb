#pragma once

#include <functional>
#include <map>
#include <memory>

#include "toolkit/host.h"

typedef struct _GSource GSource;

namespace SkinUI {

// Windows on a real display through GTK 3: an undecorated window per toolkit window whose
// caption strip drags it, a native text entry over every Edit (typing, selection, clipboard,
// input methods), a drop shadow when a compositor can show translucent windows. Posted items
// and timers are each drained by one GLib source at the default priority that may recurse, so
// nested modal loops keep handling them in order.
class GtkHost : public Host {
    // Only create() can make one: the display must be open first.
    class Passkey {
        friend class GtkHost;
        explicit Passkey() = default;
    };

public:
    explicit GtkHost(Passkey);
    // Nothing when no display can be opened. Leaves LC_NUMERIC at "C": GTK's start-up adopts
    // the user's locale, which would turn decimal points into commas in every number we print.
    static std::unique_ptr<GtkHost> create();
    ~GtkHost() override;

    std::uint32_t nowMs() const override;
    void windowCreated(Window& window) override;
    void windowDestroyed(Window& window) override;
    void showWindow(Window& window, bool show) override;
    void moveWindow(Window& window, Point topLeft) override;
    Size screenSize() const override;
    void invalidate(Window& window) override;
    void minimize(Window& window) override;
    void bringToFront(Window& window) override;
    void windowDecorationChanged(Window& window) override;
    void editChanged(Window& window, Edit& edit) override;
    bool hasNativeEdits() const override { return true; }
    void runLoop(const std::function<bool()>& keepRunning) override;
    bool pump(std::uint32_t durationMs, const std::function<bool()>& keepRunning) override;
    std::optional<std::wstring> chooseFolder(Window* owner, std::wstring_view title) override;
    void showSystemMessage(Window* owner, std::wstring_view text, std::wstring_view caption,
                           MessageIcon icon) override;

    // Called after every paint of a window on screen: how a benchmark sees the first paint.
    void setPaintObserver(std::function<void(Window&)> observer) {
        paintObserver_ = std::move(observer);
    }
    void windowPainted(Window& window) {
        if (paintObserver_) {
            paintObserver_(window);
        }
    }

    struct NativeWindow;

protected:
    void timersChanged() override;

private:
    struct SourceRelease {
        void operator()(GSource* source) const;
    };
    using SourcePtr = std::unique_ptr<GSource, SourceRelease>;

    NativeWindow* native(const Window& window) const;
    void syncEntries(NativeWindow& native);

    std::map<std::uint64_t, std::unique_ptr<NativeWindow>> natives_;
    SourcePtr postedSource_;
    SourcePtr timerSource_;
    std::function<void(Window&)> paintObserver_;
};

}  // namespace SkinUI

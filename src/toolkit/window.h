#pragma once

#include <cairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/geometry.h"
#include "toolkit/host.h"
#include "toolkit/image.h"
#include "toolkit/notification.h"
#include "toolkit/posted_queue.h"
#include "toolkit/text_painter.h"

namespace SkinUI {

// Why a layout could not become a window. The application treats every one as fatal.
enum class LayoutError { None, NotFound, TooLarge, Empty, NotXml, NoRoot };

// Layout files are refused above this size before they are read.
inline constexpr std::uint64_t kMaxLayoutBytes = 4'194'304;

// What close() passes for the default handling of the close button and of Escape.
inline constexpr int kCloseButtonResult = 0;
inline constexpr int kEscapeResult = 2;

// The base of every window: builds its control tree from a layout, owns it with its fonts and
// images, routes input to controls and notifications back to itself, and runs modally.
// Everything but postMessage()/handle()/sendNotify(async) belongs to the UI thread.
class Window {
public:
    explicit Window(Host& host);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Builds the window from a layout in the registered resource archive; on failure the window
    // does not exist and layoutError() says why.
    bool create(std::wstring_view layoutFile, Window* owner = nullptr);
    bool createFromXml(std::string_view xml, Window* owner = nullptr);
    LayoutError layoutError() const { return layoutError_; }

    bool isAlive() const { return alive_; }
    void show(bool show = true);
    // Centres on the owner when there is one, else on the screen.
    void centre();
    Point position() const { return position_; }
    void setPosition(Point topLeft);
    // Shows the window and runs the loop until it is gone (or a quit was posted); the owner
    // takes no input meanwhile. Returns the close result.
    int showModal();
    // Posts a close request carrying the result; see kCloseMessage.
    void close(int result = 0);
    // Destroys the native window now; the object and its controls stay until deleted.
    void destroy(int result);
    int result() const { return result_; }
    bool isEnabled() const { return enabled_; }
    void minimize();
    void bringToFront();

    const std::wstring& title() const { return title_; }
    void setTitle(std::wstring title);
    // PNG bytes; false (and no icon) when they do not decode.
    bool setIcon(const std::vector<std::uint8_t>& png);
    const SharedSurface& icon() const { return icon_; }
    const std::optional<WindowShadow>& shadow() const { return shadow_; }
    void setShadow(std::optional<WindowShadow> shadow);

    Host& host() const { return host_; }
    std::uint64_t id() const { return id_; }
    WindowHandle handle() const { return WindowHandle(host_.queue(), id_); }
    Window* owner() const { return owner_; }

    Control* root() const { return root_.get(); }
    Control* findControl(std::wstring_view name) const;
    template <typename T>
    T* findControl(std::wstring_view name) const {
        return dynamic_cast<T*>(findControl(name));
    }

    Size size() const { return size_; }
    const Rect& captionRect() const { return caption_; }
    Size roundCorner() const { return roundCorner_; }
    // Window attributes of the layout the toolkit does not interpret itself.
    std::optional<std::wstring> customAttribute(std::wstring_view name) const;
    const FontSpec& font(int id) const;
    void addFont(int id, FontSpec font, bool isDefault);
    int measureTextWidth(std::wstring_view text, int fontId) const;

    // Sync: the receiver runs before this returns. Queued: it runs in posting order from the
    // UI thread's loop; safe from any thread.
    void sendNotify(Control* sender, std::wstring type, std::uintptr_t wParam = 0,
                    std::intptr_t lParam = 0, bool async = false);
    // Safe from any thread while the object exists; use handle() where it may not.
    void postMessage(std::uint32_t id, std::uintptr_t wParam = 0, std::intptr_t lParam = 0,
                     std::unique_ptr<MessagePayload> payload = nullptr) const;

    bool setTimer(Control& control, std::uint32_t id, std::uint32_t periodMs);
    void killTimer(Control& control, std::uint32_t id);

    void invalidate();
    void needLayout() { layoutDirty_ = true; }
    void updateLayout();
    void paint(cairo_t* cr);
    ImageCache& images() { return images_; }

    Control* focusedControl() const { return focused_; }
    void setFocus(Control* control);
    Control* hotControl() const { return hot_; }
    // In the drag strip and not on a control that takes the mouse.
    bool inCaption(Point point);

    // Input from the host, in window pixels.
    void mouseMove(Point point);
    void mouseLeave();
    void mouseDown(Point point);
    void mouseUp(Point point);
    void keyDown(Key key);
    void textInput(std::wstring_view text);

    // Called by the host and by controls.
    void dispatchPosted(PostedItem& item);
    void timerFired(Control& control, std::uint32_t id);
    void controlDestroyed(Control& control);

protected:
    // Runs inside create(), after the tree is built and attached.
    virtual void onInit() {}
    // The default handles "click" on controls named "closebtn" (close) and "minbtn" (minimise).
    virtual void notify(const Notification& notification);
    // Makes a control for an element name the toolkit does not know; null rejects the element.
    virtual std::unique_ptr<Control> createControl(std::wstring_view elementName);
    // Posted messages; return true when handled. Unhandled close requests destroy the window.
    virtual bool handleMessage(Message& message);
    // Sees every key first; return true to consume it. Unconsumed Escape closes the window.
    virtual bool preFilterKey(Key key);

private:
    friend class LayoutBuilder;
    void setHot(Control* control);

    Host& host_;
    const std::uint64_t id_;
    Window* owner_ = nullptr;
    bool alive_ = false;
    bool enabled_ = true;
    int result_ = 0;
    LayoutError layoutError_ = LayoutError::None;
    Point position_;
    std::wstring title_;
    SharedSurface icon_;
    std::optional<WindowShadow> shadow_;
    Size size_;
    Rect caption_;
    Size roundCorner_;
    std::map<std::wstring, std::wstring, std::less<>> customAttributes_;
    std::map<int, FontSpec> fonts_;
    int defaultFont_ = -1;
    ImageCache images_;
    std::unique_ptr<Control> root_;
    bool layoutDirty_ = true;
    Control* hot_ = nullptr;
    Control* pushed_ = nullptr;
    Control* focused_ = nullptr;
};

// Dispatches the UI thread's messages for about 100 ms. False when the window (if one is given)
// is gone or a quit was posted, true when the time ran out.
bool pumpMessages(Host& host, const Window* window);

}  // namespace SkinUI

#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "toolkit/geometry.h"
#include "toolkit/text_painter.h"

namespace SkinUI {

class Container;
class ImageCache;
class Window;

// Keys the toolkit itself reacts to; text arrives separately as characters.
enum class Key { Escape, Return, Tab, Backspace, Delete, Left, Right, Home, End, Other };

struct ControlEvent {
    enum class Type {
        Timer,
        MouseEnter,
        MouseLeave,
        ButtonDown,
        ButtonUp,
        KeyDown,
        Char,
        SetFocus,
        KillFocus
    };
    explicit ControlEvent(Type eventType, Point at = {}) : type(eventType), point(at) {}

    Type type;
    Point point;
    Key key = Key::Other;
    std::wstring text;
    std::uint32_t timerId = 0;
};

// What a control needs while painting: the target, the window's decoded images and its fonts.
struct PaintContext {
    cairo_t* cr = nullptr;
    ImageCache& images;
    std::function<const FontSpec&(int fontId)> font;
};

// The base of every element of a layout: a rectangle with optional colour, image and text.
// A control with no fixed width or height is flexible in that direction: its layout gives it an
// equal share of the room the fixed siblings leave.
class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    virtual std::wstring_view className() const { return L"Control"; }
    // This control when it is (or derives from) the named class, else null.
    virtual Control* getInterface(std::wstring_view className);

    const std::wstring& name() const { return name_; }
    void setName(std::wstring name) { name_ = std::move(name); }
    const std::wstring& userData() const { return userData_; }
    void setUserData(std::wstring data) { userData_ = std::move(data); }

    bool isVisible() const { return visible_; }
    void setVisible(bool visible);
    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);

    int fixedWidth() const { return fixedWidth_; }
    int fixedHeight() const { return fixedHeight_; }
    void setFixedWidth(int width);
    void setFixedHeight(int height);
    const Rect& pos() const { return pos_; }
    void setPos(const Rect& pos);
    const Rect& padding() const { return padding_; }
    void setPadding(const Rect& padding);

    Color bkColor() const { return bkColor_; }
    void setBkColor(Color color);
    const std::wstring& bkImage() const { return bkImage_; }
    void setBkImage(std::wstring image);
    void setBorder(int size, Color color);
    void setBorderRound(Size round);

    const std::wstring& text() const { return text_; }
    virtual void setText(std::wstring text);
    int font() const { return font_; }
    void setFont(int fontId);
    Color textColor() const { return textColor_; }
    void setTextColor(Color color);
    HAlign align() const { return align_; }
    void setAlign(HAlign align) { align_ = align; }
    VAlign valign() const { return valign_; }
    const Rect& textPadding() const { return textPadding_; }

    // Where layout placed the control, in window pixels.
    const Rect& rect() const { return rect_; }
    virtual void arrange(const Rect& rect);

    void invalidate();
    void needLayout();
    void setFocus();
    bool isFocused() const;

    // Timers of this control arrive at its window as "timer" notifications with the id in
    // wParam. Setting an id again restarts it with the new period.
    bool setTimer(std::uint32_t id, std::uint32_t periodMs);
    void killTimer(std::uint32_t id);

    // Returns whether the name is an attribute of this class; subclasses handle theirs and pass
    // the rest on to their base.
    virtual bool setAttribute(std::wstring_view name, std::wstring_view value);
    // Called once the whole tree is built and attached to its window.
    virtual void init() {}
    // A control's timers arrive here first; the base turns them into the window's "timer"
    // notification, so an override that handles its own timer calls the base as well.
    virtual void doEvent(const ControlEvent& event);
    virtual void paint(PaintContext& context);

    // The topmost visible control under the point that takes mouse input, if any.
    virtual Control* hitTest(Point point);
    virtual bool takesMouse() const { return false; }
    virtual bool takesFocus() const { return false; }
    // This control and, for containers, everything below it, parents first.
    virtual void forEach(const std::function<void(Control&)>& visit);

    Container* parent() const { return parent_; }
    Window* window() const { return window_; }
    virtual void attach(Container* parent, Window* window);

protected:
    virtual void paintBkColor(PaintContext& context);
    virtual void paintBkImage(PaintContext& context);
    virtual void paintStatusImage(PaintContext&) {}
    virtual void paintText(PaintContext& context);
    virtual void paintBorder(PaintContext& context);
    // Draws a whole image attribute inside this control; nothing when it is empty or missing.
    void drawImageAttribute(PaintContext& context, std::wstring_view attribute);
    void fillRounded(PaintContext& context, Color color);
    virtual Color currentTextColor() const { return textColor_; }
    TextStyle textStyle(PaintContext& context, Color color) const;
    bool multiline_ = false;

private:
    std::wstring name_;
    std::wstring userData_;
    bool visible_ = true;
    bool enabled_ = true;
    int fixedWidth_ = 0;
    int fixedHeight_ = 0;
    Rect pos_;
    Rect padding_;
    Color bkColor_ = 0;
    std::wstring bkImage_;
    int borderSize_ = 0;
    Color borderColor_ = 0;
    Size borderRound_;
    std::wstring text_;
    int font_ = -1;
    Color textColor_ = 0xFF000000;
    HAlign align_ = HAlign::Left;
    VAlign valign_ = VAlign::Center;
    Rect textPadding_;
    Rect rect_;
    Container* parent_ = nullptr;
    Window* window_ = nullptr;
};

void setCairoColor(cairo_t* cr, Color color);

}  // namespace SkinUI

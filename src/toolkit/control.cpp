#include <numbers>

#include "toolkit/control.h"

#include <cmath>

#include "toolkit/attribute_values.h"
#include "toolkit/image.h"
#include "toolkit/window.h"

namespace SkinUI {

namespace {
constexpr double kPi = std::numbers::pi;
}  // namespace

void setCairoColor(cairo_t* cr, Color color) {
    cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                          (color & 0xFF) / 255.0, ((color >> 24) & 0xFF) / 255.0);
}

Control::~Control() {
    if (window_ != nullptr) {
        window_->controlDestroyed(*this);
    }
}

Control* Control::getInterface(std::wstring_view className) {
    return className == L"Control" ? this : nullptr;
}

void Control::setVisible(bool visible) {
    if (visible_ != visible) {
        visible_ = visible;
        needLayout();
        invalidate();
    }
}

void Control::setEnabled(bool enabled) {
    if (enabled_ != enabled) {
        enabled_ = enabled;
        invalidate();
    }
}

void Control::setFixedWidth(int width) {
    fixedWidth_ = std::max(width, 0);
    needLayout();
}

void Control::setFixedHeight(int height) {
    fixedHeight_ = std::max(height, 0);
    needLayout();
}

// Without floating placement a position only fixes the size it spans.
void Control::setPos(const Rect& pos) {
    pos_ = pos;
    if (pos.width() > 0) {
        fixedWidth_ = pos.width();
    }
    if (pos.height() > 0) {
        fixedHeight_ = pos.height();
    }
    needLayout();
}

void Control::setPadding(const Rect& padding) {
    padding_ = padding;
    needLayout();
}

void Control::setBkColor(Color color) {
    bkColor_ = color;
    invalidate();
}

void Control::setBkImage(std::wstring image) {
    bkImage_ = std::move(image);
    invalidate();
}

void Control::setBorder(int size, Color color) {
    borderSize_ = size;
    borderColor_ = color;
    invalidate();
}

void Control::setBorderRound(Size round) {
    borderRound_ = round;
    invalidate();
}

void Control::setText(std::wstring text) {
    text_ = std::move(text);
    invalidate();
}

void Control::setFont(int fontId) {
    font_ = fontId;
    invalidate();
}

void Control::setTextColor(Color color) {
    textColor_ = color;
    invalidate();
}

void Control::arrange(const Rect& rect) {
    rect_ = rect;
}

void Control::invalidate() {
    if (window_ != nullptr) {
        window_->invalidate();
    }
}

void Control::needLayout() {
    if (window_ != nullptr) {
        window_->needLayout();
        window_->invalidate();
    }
}

void Control::setFocus() {
    if (window_ != nullptr) {
        window_->setFocus(this);
    }
}

bool Control::isFocused() const {
    return window_ != nullptr && window_->focusedControl() == this;
}

bool Control::setTimer(std::uint32_t id, std::uint32_t periodMs) {
    return window_ != nullptr && window_->setTimer(*this, id, periodMs);
}

void Control::killTimer(std::uint32_t id) {
    if (window_ != nullptr) {
        window_->killTimer(*this, id);
    }
}

bool Control::setAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"name") {
        name_ = value;
    } else if (name == L"width") {
        setFixedWidth(parseInt(value).value_or(0));
    } else if (name == L"height") {
        setFixedHeight(parseInt(value).value_or(0));
    } else if (name == L"pos") {
        setPos(parseRect(value).value_or(Rect{}));
    } else if (name == L"padding") {
        setPadding(parseRect(value).value_or(Rect{}));
    } else if (name == L"bkcolor") {
        setBkColor(parseColor(value).value_or(0));
    } else if (name == L"bkimage") {
        setBkImage(std::wstring(value));
    } else if (name == L"visible") {
        setVisible(parseBool(value));
    } else if (name == L"enabled") {
        setEnabled(parseBool(value));
    } else if (name == L"userdata") {
        userData_ = value;
    } else if (name == L"text") {
        setText(std::wstring(value));
    } else if (name == L"font") {
        setFont(parseInt(value).value_or(-1));
    } else if (name == L"textcolor") {
        setTextColor(parseColor(value).value_or(0));
    } else if (name == L"align") {
        align_ = value == L"center"  ? HAlign::Center
                 : value == L"right" ? HAlign::Right
                                     : HAlign::Left;
    } else if (name == L"valign") {
        valign_ = value == L"top"      ? VAlign::Top
                  : value == L"bottom" ? VAlign::Bottom
                                       : VAlign::Center;
    } else if (name == L"textpadding") {
        textPadding_ = parseRect(value).value_or(Rect{});
    } else if (name == L"bordersize") {
        borderSize_ = parseInt(value).value_or(0);
    } else if (name == L"bordercolor") {
        borderColor_ = parseColor(value).value_or(0);
    } else if (name == L"borderround") {
        borderRound_ = parseSize(value).value_or(Size{});
    } else {
        return false;
    }
    return true;
}

void Control::doEvent(const ControlEvent& event) {
    if (event.type == ControlEvent::Type::Timer && window_ != nullptr) {
        window_->sendNotify(this, L"timer", event.timerId);
    }
}

void Control::paint(PaintContext& context) {
    if (!visible_ || rect_.empty()) {
        return;
    }
    paintBkColor(context);
    paintBkImage(context);
    paintStatusImage(context);
    paintText(context);
    paintBorder(context);
}

Control* Control::hitTest(Point point) {
    if (!visible_ || !rect_.contains(point)) {
        return nullptr;
    }
    return takesMouse() ? this : nullptr;
}

void Control::forEach(const std::function<void(Control&)>& visit) {
    visit(*this);
}

void Control::attach(Container* parent, Window* window) {
    parent_ = parent;
    window_ = window;
}

void Control::fillRounded(PaintContext& context, Color color) {
    if ((color >> 24) == 0) {
        return;
    }
    cairo_t* cr = context.cr;
    cairo_save(cr);
    cairo_new_path(cr);
    const double rx = std::min(borderRound_.width / 2.0, rect_.width() / 2.0);
    const double ry = std::min(borderRound_.height / 2.0, rect_.height() / 2.0);
    if (rx >= 1 && ry >= 1) {
        const double x = rect_.left;
        const double y = rect_.top;
        const double w = rect_.width();
        const double h = rect_.height();
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, w / rx - 1, 1, 1, -kPi / 2, 0);
        cairo_arc(cr, w / rx - 1, h / ry - 1, 1, 0, kPi / 2);
        cairo_arc(cr, 1, h / ry - 1, 1, kPi / 2, kPi);
        cairo_arc(cr, 1, 1, 1, kPi, 3 * kPi / 2);
        cairo_close_path(cr);
        cairo_restore(cr);
    } else {
        cairo_rectangle(cr, rect_.left, rect_.top, rect_.width(), rect_.height());
    }
    setCairoColor(cr, color);
    cairo_fill(cr);
    cairo_restore(cr);
}

void Control::paintBkColor(PaintContext& context) {
    fillRounded(context, bkColor_);
}

void Control::paintBkImage(PaintContext& context) {
    drawImageAttribute(context, bkImage_);
}

void Control::drawImageAttribute(PaintContext& context, std::wstring_view attribute) {
    if (attribute.empty()) {
        return;
    }
    if (const auto image = parseImageAttribute(attribute)) {
        drawImage(context.cr, context.images, rect_, *image);
    }
}

TextStyle Control::textStyle(PaintContext& context, Color color) const {
    TextStyle style;
    style.font = context.font(font_);
    style.color = color;
    style.align = align_;
    style.valign = valign_;
    style.multiline = multiline_;
    return style;
}

void Control::paintText(PaintContext& context) {
    if (text_.empty()) {
        return;
    }
    const Rect box{rect_.left + textPadding_.left, rect_.top + textPadding_.top,
                   rect_.right - textPadding_.right, rect_.bottom - textPadding_.bottom};
    drawText(context.cr, box, text_, textStyle(context, currentTextColor()));
}

void Control::paintBorder(PaintContext& context) {
    if (borderSize_ <= 0 || (borderColor_ >> 24) == 0) {
        return;
    }
    cairo_t* cr = context.cr;
    cairo_save(cr);
    cairo_new_path(cr);
    const double half = borderSize_ / 2.0;
    const double x = rect_.left + half;
    const double y = rect_.top + half;
    const double w = rect_.width() - borderSize_;
    const double h = rect_.height() - borderSize_;
    const double r = std::min({borderRound_.width / 2.0, w / 2.0, h / 2.0});
    if (r >= 1) {
        cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
        cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
        cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
        cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
        cairo_close_path(cr);
    } else {
        cairo_rectangle(cr, x, y, w, h);
    }
    setCairoColor(cr, borderColor_);
    cairo_set_line_width(cr, borderSize_);
    cairo_stroke(cr);
    cairo_restore(cr);
}

}  // namespace SkinUI

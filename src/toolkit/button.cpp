#include "toolkit/button.h"

#include "toolkit/attribute_values.h"
#include "toolkit/window.h"

namespace SkinUI {

Control* Button::getInterface(std::wstring_view className) {
    return className == L"Button" ? this : Label::getInterface(className);
}

bool Button::setAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"normalimage") {
        normalImage_ = value;
    } else if (name == L"hotimage") {
        hotImage_ = value;
    } else if (name == L"pushedimage") {
        pushedImage_ = value;
    } else if (name == L"disabledimage") {
        disabledImage_ = value;
    } else if (name == L"hotbkcolor") {
        hotBkColor_ = parseColor(value).value_or(0);
    } else if (name == L"pushedbkcolor") {
        pushedBkColor_ = parseColor(value).value_or(0);
    } else if (name == L"hottextcolor") {
        hotTextColor_ = parseColor(value).value_or(0);
    } else if (name == L"pushedtextcolor") {
        pushedTextColor_ = parseColor(value).value_or(0);
    } else {
        return Label::setAttribute(name, value);
    }
    invalidate();
    return true;
}

void Button::setNormalImage(std::wstring image) {
    normalImage_ = std::move(image);
    invalidate();
}

void Button::setHotImage(std::wstring image) {
    hotImage_ = std::move(image);
    invalidate();
}

void Button::setPushedImage(std::wstring image) {
    pushedImage_ = std::move(image);
    invalidate();
}

void Button::setEnabled(bool enabled) {
    if (!enabled) {
        hot_ = false;
        pushed_ = false;
    }
    Label::setEnabled(enabled);
}

void Button::doEvent(const ControlEvent& event) {
    if (event.type == ControlEvent::Type::Timer || !isEnabled()) {
        Label::doEvent(event);
        return;
    }
    switch (event.type) {
        case ControlEvent::Type::MouseEnter:
            hot_ = true;
            break;
        case ControlEvent::Type::MouseLeave:
            hot_ = false;
            break;
        case ControlEvent::Type::ButtonDown:
            pushed_ = true;
            break;
        case ControlEvent::Type::ButtonUp: {
            const bool clicked = pushed_ && rect().contains(event.point);
            pushed_ = false;
            invalidate();
            if (clicked) {
                activate();
            }
            return;
        }
        case ControlEvent::Type::KeyDown:
            if (event.key == Key::Return) {
                activate();
            }
            return;
        default:
            Label::doEvent(event);
            return;
    }
    invalidate();
}

void Button::activate() {
    if (isEnabled() && window() != nullptr) {
        window()->sendNotify(this, L"click");
    }
}

void Button::paintBkColor(PaintContext& context) {
    if (looksPushed() && (pushedBkColor_ >> 24) != 0) {
        fillRounded(context, pushedBkColor_);
    } else if (hot_ && (hotBkColor_ >> 24) != 0) {
        fillRounded(context, hotBkColor_);
    } else {
        Label::paintBkColor(context);
    }
}

void Button::paintStatusImage(PaintContext& context) {
    if (!isEnabled()) {
        drawImageAttribute(context, disabledImage_);
    } else if (looksPushed() && !pushedImage_.empty()) {
        drawImageAttribute(context, pushedImage_);
    } else if (hot_ && !hotImage_.empty()) {
        drawImageAttribute(context, hotImage_);
    } else {
        drawImageAttribute(context, normalImage_);
    }
}

Color Button::currentTextColor() const {
    if (isEnabled() && looksPushed() && (pushedTextColor_ >> 24) != 0) {
        return pushedTextColor_;
    }
    if (isEnabled() && hot_ && (hotTextColor_ >> 24) != 0) {
        return hotTextColor_;
    }
    return Label::currentTextColor();
}

}  // namespace SkinUI

#include "toolkit/edit.h"

#include "toolkit/window.h"

namespace SkinUI {

Control* Edit::getInterface(std::wstring_view className) {
    return className == L"Edit" ? this : Label::getInterface(className);
}

void Edit::setText(std::wstring text) {
    caret_ = text.size();
    Label::setText(std::move(text));
    if (window() != nullptr && window()->isAlive()) {
        window()->host().editChanged(*window(), *this);
    }
}

void Edit::setTextFromHost(std::wstring text) {
    caret_ = text.size();
    Label::setText(std::move(text));
}

void Edit::paintText(PaintContext& context) {
    if (window() == nullptr || !window()->host().hasNativeEdits()) {
        Label::paintText(context);
    }
}

void Edit::doEvent(const ControlEvent& event) {
    if (event.type == ControlEvent::Type::Timer || !isEnabled()) {
        Label::doEvent(event);
        return;
    }
    std::wstring value = text();
    caret_ = std::min(caret_, value.size());
    switch (event.type) {
        case ControlEvent::Type::Char:
            value.insert(caret_, event.text);
            caret_ += event.text.size();
            break;
        case ControlEvent::Type::KeyDown:
            if (event.key == Key::Backspace && caret_ > 0) {
                value.erase(--caret_, 1);
            } else if (event.key == Key::Delete && caret_ < value.size()) {
                value.erase(caret_, 1);
            } else if (event.key == Key::Left && caret_ > 0) {
                --caret_;
            } else if (event.key == Key::Right && caret_ < value.size()) {
                ++caret_;
            } else if (event.key == Key::Home) {
                caret_ = 0;
            } else if (event.key == Key::End) {
                caret_ = value.size();
            }
            break;
        default:
            Label::doEvent(event);
            return;
    }
    const std::size_t caret = caret_;
    Label::setText(std::move(value));
    caret_ = caret;
}

}  // namespace SkinUI

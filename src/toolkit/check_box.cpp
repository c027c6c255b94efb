#include "toolkit/check_box.h"

#include "toolkit/attribute_values.h"
#include "toolkit/window.h"

namespace SkinUI {

Control* CheckBox::getInterface(std::wstring_view className) {
    return className == L"CheckBox" ? this : Button::getInterface(className);
}

bool CheckBox::setAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"selected") {
        setSelected(parseBool(value));
    } else if (name == L"selectedimage") {
        selectedImage_ = value;
    } else if (name == L"selectedtextcolor") {
        selectedTextColor_ = parseColor(value).value_or(0);
    } else {
        return Button::setAttribute(name, value);
    }
    invalidate();
    return true;
}

void CheckBox::setSelected(bool selected, bool notify) {
    if (selected_ == selected) {
        return;
    }
    selected_ = selected;
    invalidate();
    if (notify && window() != nullptr && window()->isAlive()) {
        window()->sendNotify(this, L"selectchanged", selected ? 1 : 0);
    }
}

void CheckBox::activate() {
    if (!isEnabled()) {
        return;
    }
    Button::activate();
    setSelected(!selected_);
}

void CheckBox::paintStatusImage(PaintContext& context) {
    Button::paintStatusImage(context);
    if (selected_) {
        drawImageAttribute(context, selectedImage_);
    }
}

Color CheckBox::currentTextColor() const {
    if (isEnabled() && selected_ && (selectedTextColor_ >> 24) != 0) {
        return selectedTextColor_;
    }
    return Button::currentTextColor();
}

}  // namespace SkinUI

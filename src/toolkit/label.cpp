#include "toolkit/label.h"

#include "toolkit/attribute_values.h"

namespace SkinUI {

Control* Label::getInterface(std::wstring_view className) {
    return className == L"Label" ? this : Control::getInterface(className);
}

bool Label::setAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"multiline") {
        setMultiline(parseBool(value));
    } else if (name == L"disabledtextcolor") {
        disabledTextColor_ = parseColor(value).value_or(0);
    } else {
        return Control::setAttribute(name, value);
    }
    return true;
}

void Label::setMultiline(bool multiline) {
    multiline_ = multiline;
    invalidate();
}

Color Label::currentTextColor() const {
    return isEnabled() ? textColor() : disabledTextColor_;
}

}  // namespace SkinUI

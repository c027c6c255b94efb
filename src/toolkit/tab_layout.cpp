#include "toolkit/tab_layout.h"

#include "toolkit/attribute_values.h"
#include "toolkit/window.h"

namespace SkinUI {

Control* TabLayout::getInterface(std::wstring_view className) {
    return className == L"TabLayout" ? this : Container::getInterface(className);
}

bool TabLayout::setAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"selectedid") {
        selected_ = parseInt(value).value_or(0);
        return true;
    }
    return Container::setAttribute(name, value);
}

bool TabLayout::selectItem(int index, bool notify) {
    if (itemAt(index) == nullptr) {
        return false;
    }
    if (index == selected_) {
        return true;
    }
    const int previous = selected_;
    selected_ = index;
    needLayout();
    invalidate();
    if (notify && window() != nullptr) {
        window()->sendNotify(this, L"tabselect", static_cast<std::uintptr_t>(index), previous);
    }
    return true;
}

bool TabLayout::isShown(int index) const {
    return index == selected_ && itemAt(index)->isVisible();
}

}  // namespace SkinUI

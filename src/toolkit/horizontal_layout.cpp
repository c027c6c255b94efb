#include "toolkit/horizontal_layout.h"

namespace SkinUI {

Control* HorizontalLayout::getInterface(std::wstring_view className) {
    return className == L"HorizontalLayout" ? this : Container::getInterface(className);
}

void HorizontalLayout::arrange(const Rect& rect) {
    Control::arrange(rect);
    arrangeInLine(*this, rect, false);
}

}  // namespace SkinUI

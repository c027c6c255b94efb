#include "toolkit/vertical_layout.h"

namespace SkinUI {

Control* VerticalLayout::getInterface(std::wstring_view className) {
    return className == L"VerticalLayout" ? this : Container::getInterface(className);
}

void VerticalLayout::arrange(const Rect& rect) {
    Control::arrange(rect);
    arrangeInLine(*this, rect, true);
}

}  // namespace SkinUI

#include "ui/sequence_button.h"

namespace SkinUI {

Control* CSequenceButtonUI::getInterface(std::wstring_view className) {
    return className == kClassName ? this : Button::getInterface(className);
}

void CSequenceButtonUI::setPushedTextInset(const Rect& inset) {
    pushedTextInset_ = inset;
    invalidate();
}

void CSequenceButtonUI::paintText(PaintContext& context) {
    const Rect& inset = pushedTextInset_;
    const bool noInset = inset.left == 0 && inset.top == 0 && inset.right == 0 && inset.bottom == 0;
    if (!isPushed() || noInset || text().empty()) {
        Button::paintText(context);
        return;
    }
    const Rect box{rect().left + inset.left, rect().top + inset.top, rect().right - inset.right,
                   rect().bottom - inset.bottom};
    drawText(context.cr, box, text(), textStyle(context, currentTextColor()));
}

}  // namespace SkinUI

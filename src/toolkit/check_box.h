#pragma once

#include "toolkit/button.h"

namespace SkinUI {

// A button with a selected state that a click toggles. Every change of the state, by click or
// by code, raises "selectchanged" once the control belongs to a running window.
class CheckBox : public Button {
public:
    // The text follows the box image, so it starts at the left (after textpadding).
    CheckBox() { setAlign(HAlign::Left); }

    std::wstring_view className() const override { return L"CheckBox"; }
    Control* getInterface(std::wstring_view className) override;
    bool setAttribute(std::wstring_view name, std::wstring_view value) override;

    bool isSelected() const { return selected_; }
    void setSelected(bool selected, bool notify = true);
    void activate() override;

protected:
    void paintStatusImage(PaintContext& context) override;
    Color currentTextColor() const override;

private:
    bool selected_ = false;
    std::wstring selectedImage_;
    Color selectedTextColor_ = 0;
};

}  // namespace SkinUI

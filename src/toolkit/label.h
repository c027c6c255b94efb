#pragma once

#include "toolkit/control.h"

namespace SkinUI {

// Text on a control; multiline text wraps at the control's width and keeps "\r\n" breaks.
class Label : public Control {
public:
    std::wstring_view className() const override { return L"Label"; }
    Control* getInterface(std::wstring_view className) override;
    bool setAttribute(std::wstring_view name, std::wstring_view value) override;

    bool isMultiline() const { return multiline_; }
    void setMultiline(bool multiline);

protected:
    Color currentTextColor() const override;
    Color disabledTextColor_ = 0xFFA7A6AA;
};

}  // namespace SkinUI

#pragma once

#include "toolkit/label.h"

namespace SkinUI {

// A label that reacts to the mouse: normal, hot (pointer over it), pushed (pressed while the
// pointer stays on it) and disabled looks, and a "click" when released over it.
class Button : public Label {
public:
    // Captions sit in the middle of a button unless the layout says otherwise.
    Button() { setAlign(HAlign::Center); }

    std::wstring_view className() const override { return L"Button"; }
    Control* getInterface(std::wstring_view className) override;
    bool setAttribute(std::wstring_view name, std::wstring_view value) override;
    void doEvent(const ControlEvent& event) override;
    bool takesMouse() const override { return true; }
    void setEnabled(bool enabled) override;

    bool isHot() const { return hot_; }
    bool isPushed() const { return pushed_; }
    void setNormalImage(std::wstring image);
    void setHotImage(std::wstring image);
    void setPushedImage(std::wstring image);

    // What a click does: raises "click" (check boxes also toggle).
    virtual void activate();

protected:
    void paintBkColor(PaintContext& context) override;
    void paintStatusImage(PaintContext& context) override;
    Color currentTextColor() const override;

private:
    // Held down but moved off the button: back to the normal look until the pointer returns.
    bool looksPushed() const { return pushed_ && hot_; }

    bool hot_ = false;
    bool pushed_ = false;
    std::wstring normalImage_;
    std::wstring hotImage_;
    std::wstring pushedImage_;
    std::wstring disabledImage_;
    Color hotBkColor_ = 0;
    Color pushedBkColor_ = 0;
    Color hotTextColor_ = 0;
    Color pushedTextColor_ = 0;
};

}  // namespace SkinUI

#pragma once

#include "toolkit/label.h"

namespace SkinUI {

// A one-line text field. The text model here takes typed characters and editing keys at a
// caret; a host with native text entries shows its own entry over the control instead and
// keeps this text in step through setTextFromHost().
class Edit : public Label {
public:
    std::wstring_view className() const override { return L"Edit"; }
    Control* getInterface(std::wstring_view className) override;
    void setText(std::wstring text) override;
    void setTextFromHost(std::wstring text);
    void doEvent(const ControlEvent& event) override;
    bool takesMouse() const override { return true; }
    bool takesFocus() const override { return true; }
    std::size_t caret() const { return caret_; }

protected:
    void paintText(PaintContext& context) override;

private:
    std::size_t caret_ = 0;
};

}  // namespace SkinUI

#pragma once

#include "toolkit/label.h"

namespace SkinUI {

// A bar from 0 to 100: the background image is the track, the fore image is drawn over the
// part of the width the value covers.
class Progress : public Label {
public:
    static constexpr int kMinValue = 0;
    static constexpr int kMaxValue = 100;

    std::wstring_view className() const override { return L"Progress"; }
    Control* getInterface(std::wstring_view className) override;
    bool setAttribute(std::wstring_view name, std::wstring_view value) override;

    int value() const { return value_; }
    void setValue(int value);
    const std::wstring& foreImage() const { return foreImage_; }
    void setForeImage(std::wstring image);

protected:
    void paintStatusImage(PaintContext& context) override;

private:
    int value_ = 0;
    std::wstring foreImage_;
};

}  // namespace SkinUI

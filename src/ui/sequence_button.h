#pragma once

#include <string_view>

#include "toolkit/button.h"
#include "ui/sequence_animation.h"

namespace SkinUI {

// A button whose background plays a numbered image sequence (layout element "SequenceButton"),
// back and forth by default, one frame every 60 ms. Its caption can move by an inset while it is
// pressed.
class CSequenceButtonUI : public AnimatedControl<Button> {
public:
    static constexpr std::wstring_view kClassName = L"SequenceButton";

    CSequenceButtonUI() : AnimatedControl(true, kDefaultSpanMs) {}

    std::wstring_view className() const override { return kClassName; }
    Control* getInterface(std::wstring_view className) override;

    // Moves the caption's box edges inwards (left, top, right, bottom) while the button is
    // pressed; all zero keeps the button's own caption painting.
    const Rect& pushedTextInset() const { return pushedTextInset_; }
    void setPushedTextInset(const Rect& inset);

protected:
    void paintText(PaintContext& context) override;

private:
    static constexpr std::int32_t kDefaultSpanMs = 60;

    Rect pushedTextInset_;
};

}  // namespace SkinUI

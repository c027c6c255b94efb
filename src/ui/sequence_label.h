#pragma once

#include <string_view>

#include "toolkit/label.h"
#include "ui/sequence_animation.h"

namespace SkinUI {

// A label whose background plays a numbered image sequence (layout element "SequenceLabel").
// Wraps to the first frame by default, one frame every 30 ms.
class CSequenceLabelUI : public AnimatedControl<Label> {
public:
    static constexpr std::wstring_view kClassName = L"SequenceLabel";

    CSequenceLabelUI() : AnimatedControl(false, kDefaultSpanMs) {}
    ~CSequenceLabelUI() override { stop(); }

    std::wstring_view className() const override { return kClassName; }
    Control* getInterface(std::wstring_view className) override;

private:
    static constexpr std::int32_t kDefaultSpanMs = 30;
};

}  // namespace SkinUI

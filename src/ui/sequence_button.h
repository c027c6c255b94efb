#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit/button.h"
#include "ui/sequence_animation.h"

namespace SkinUI {

// A button whose background plays a numbered image sequence (layout element "SequenceButton"),
// back and forth by default, one frame every 60 ms. Its caption can move by an inset while it is
// pressed.
class CSequenceButtonUI : public Button {
public:
    static constexpr std::wstring_view kClassName = L"SequenceButton";

    CSequenceButtonUI() : animation_(true, kDefaultSpanMs) {}
    ~CSequenceButtonUI() override;

    std::wstring_view className() const override { return kClassName; }
    Control* getInterface(std::wstring_view className) override;
    bool setAttribute(std::wstring_view name, std::wstring_view value) override;
    void init() override;
    void doEvent(const ControlEvent& event) override;

    void start() { animation_.start(*this); }
    void stop() { animation_.stop(*this); }

    const std::wstring& pattern() const { return animation_.pattern(); }
    void setPattern(std::wstring pattern) { animation_.setPattern(std::move(pattern)); }
    std::uint32_t count() const { return animation_.count(); }
    void setCount(std::uint32_t count) { animation_.setCount(count); }
    std::int32_t span() const { return animation_.span(); }
    void setSpan(std::int32_t spanMs) { animation_.setSpan(spanMs); }

    // Moves the caption's box edges inwards (left, top, right, bottom) while the button is
    // pressed; all zero keeps the button's own caption painting.
    const Rect& pushedTextInset() const { return pushedTextInset_; }
    void setPushedTextInset(const Rect& inset);

protected:
    void paintText(PaintContext& context) override;

private:
    static constexpr std::int32_t kDefaultSpanMs = 60;

    SequenceAnimation animation_;
    Rect pushedTextInset_;
};

}  // namespace SkinUI

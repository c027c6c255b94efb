#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit/label.h"
#include "ui/sequence_animation.h"

namespace SkinUI {

// A label whose background plays a numbered image sequence (layout element "SequenceLabel").
// Wraps to the first frame by default, one frame every 30 ms.
class CSequenceLabelUI : public Label {
public:
    static constexpr std::wstring_view kClassName = L"SequenceLabel";

    CSequenceLabelUI() : animation_(false, kDefaultSpanMs) {}
    ~CSequenceLabelUI() override;

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

private:
    static constexpr std::int32_t kDefaultSpanMs = 30;

    SequenceAnimation animation_;
};

}  // namespace SkinUI

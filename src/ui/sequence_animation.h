#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "toolkit/control.h"
#include "ui/frame_sequence.h"

// The animation shared by the animated label and button: a numbered image name pattern played as
// the control's background, one frame per tick of the control's timer 2100.
class SequenceAnimation {
public:
    static constexpr std::uint32_t kTimerId = 2100;

    SequenceAnimation(bool round, std::int32_t spanMs);

    // The sequence attributes of a layout; false for any other name.
    bool setAttribute(std::wstring_view name, std::wstring_view value);
    // After the layout is built: starts the timer when the layout asked for it, without going
    // back to the first frame.
    void init(SkinUI::Control& control);
    // One timer tick: shows the next frame, or stops the timer at the end of a sequence that does
    // not loop. Nothing happens without a pattern.
    void tick(SkinUI::Control& control);
    // From the first frame; a timer already running keeps its rhythm.
    void start(SkinUI::Control& control);
    void stop(SkinUI::Control& control);

    const std::wstring& pattern() const { return pattern_; }
    void setPattern(std::wstring pattern) { pattern_ = std::move(pattern); }
    std::uint32_t count() const { return sequence_.count; }
    void setCount(std::uint32_t count) { sequence_.count = count; }
    std::int32_t span() const { return spanMs_; }
    void setSpan(std::int32_t spanMs) { spanMs_ = spanMs; }

private:
    void armTimer(SkinUI::Control& control) const;

    std::wstring pattern_;
    bool autostart_ = false;
    std::int32_t spanMs_;
    FrameSequence sequence_;
};

// A toolkit control (label or button) with the animation: its sequence attributes, its timer
// ticks and the operations the windows call.
template <typename Base>
class AnimatedControl : public Base {
public:
    AnimatedControl(bool round, std::int32_t spanMs) : animation_(round, spanMs) {}

    bool setAttribute(std::wstring_view name, std::wstring_view value) override {
        return animation_.setAttribute(name, value) || Base::setAttribute(name, value);
    }
    void init() override {
        Base::init();
        animation_.init(*this);
    }
    void doEvent(const SkinUI::ControlEvent& event) override {
        Base::doEvent(event);
        if (event.type == SkinUI::ControlEvent::Type::Timer) {
            animation_.tick(*this);
        }
    }

    void start() { animation_.start(*this); }
    void stop() { animation_.stop(*this); }

    const std::wstring& pattern() const { return animation_.pattern(); }
    void setPattern(std::wstring pattern) { animation_.setPattern(std::move(pattern)); }
    std::uint32_t count() const { return animation_.count(); }
    void setCount(std::uint32_t count) { animation_.setCount(count); }
    std::int32_t span() const { return animation_.span(); }
    void setSpan(std::int32_t spanMs) { animation_.setSpan(spanMs); }

private:
    SequenceAnimation animation_;
};

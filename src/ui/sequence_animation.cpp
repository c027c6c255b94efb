#include "ui/sequence_animation.h"

#include <optional>
#include <utility>

#include "platform/text_encoding.h"
#include "settings/number_parsing.h"
#include "toolkit/control.h"
#include "toolkit/host.h"
#include "toolkit/window.h"

namespace {

// Only the exact lower-case "false" switches a flag off; "FALSE" leaves it on.
bool flagValue(std::wstring_view value) {
    return value != L"false";
}

}  // namespace

SequenceAnimation::SequenceAnimation(bool round, std::int32_t spanMs) : spanMs_(spanMs) {
    sequence_.round = round;
}

bool SequenceAnimation::setAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"sequencebkimage") {
        pattern_ = value;
    } else if (platform::equalsNoCase(name, L"sequencecount")) {
        sequence_.count =
            static_cast<std::uint32_t>(settings::parseLeadingInt32(value).value_or(0));
    } else if (platform::equalsNoCase(name, L"sequencespan")) {
        spanMs_ = settings::parseLeadingInt32(value).value_or(0);
    } else if (platform::equalsNoCase(name, L"sequenceloop")) {
        sequence_.loop = flagValue(value);
    } else if (platform::equalsNoCase(name, L"autostart")) {
        autostart_ = flagValue(value);
    } else if (platform::equalsNoCase(name, L"sequenceround")) {
        sequence_.round = flagValue(value);
    } else {
        return false;
    }
    return true;
}

void SequenceAnimation::init(SkinUI::Control& control) {
    if (autostart_) {
        control.setTimer(kTimerId, static_cast<std::uint32_t>(spanMs_));
    }
}

void SequenceAnimation::tick(SkinUI::Control& control) {
    if (pattern_.empty()) {
        return;
    }
    const std::optional<std::uint32_t> frame = sequence_.nextFrame();
    if (!frame) {
        control.killTimer(kTimerId);
        return;
    }
    control.setBkImage(frameImageName(pattern_, *frame));
    control.invalidate();
}

void SequenceAnimation::start(SkinUI::Control& control) {
    sequence_.restart();
    armTimer(control);
}

void SequenceAnimation::stop(SkinUI::Control& control) {
    control.killTimer(kTimerId);
}

void SequenceAnimation::armTimer(SkinUI::Control& control) const {
    SkinUI::Window* window = control.window();
    if (window && window->host().hasTimer(control, kTimerId)) {
        return;
    }
    control.setTimer(kTimerId, static_cast<std::uint32_t>(spanMs_));
}

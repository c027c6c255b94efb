#include "ui/frame_sequence.h"

#include <cwchar>
#include <string_view>

namespace {

// The image-name buffer of the animated controls, terminator included.
constexpr std::size_t kNameBufferUnits = 260;
constexpr std::wstring_view kFlags = L"-+ #0";
constexpr std::wstring_view kIntegerConversions = L"diuxXo";

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The end of the conversion that starts at `percent` ("%" flags width [.precision] conversion), or
// npos when it is not an integer conversion.
std::size_t integerConversionEnd(std::wstring_view pattern, std::size_t percent) {
    std::size_t at = percent + 1;
    while (at < pattern.size() && kFlags.find(pattern[at]) != std::wstring_view::npos) {
        ++at;
    }
    while (at < pattern.size() && isDigit(pattern[at])) {
        ++at;
    }
    if (at < pattern.size() && pattern[at] == L'.') {
        ++at;
        while (at < pattern.size() && isDigit(pattern[at])) {
            ++at;
        }
    }
    if (at < pattern.size() && kIntegerConversions.find(pattern[at]) != std::wstring_view::npos) {
        return at + 1;
    }
    return std::wstring_view::npos;
}

}  // namespace

std::optional<std::uint32_t> FrameSequence::nextFrame() {
    if (forward_ && index_ > count - 1) {
        if (round) {
            forward_ = false;
            index_ = count - 2;
        } else {
            index_ = 0;
            if (!loop) {
                return std::nullopt;
            }
        }
    }
    if (!forward_ && index_ == 0) {
        if (round) {
            forward_ = true;
        }
        index_ = 0;
        if (!loop) {
            return std::nullopt;
        }
    }
    const std::uint32_t frame = index_;
    index_ = forward_ ? index_ + 1 : index_ - 1;
    return frame;
}

std::wstring frameImageName(const std::wstring& pattern, std::uint32_t frame) {
    std::wstring name;
    bool converted = false;
    for (std::size_t at = 0; at < pattern.size();) {
        if (pattern[at] != L'%') {
            name += pattern[at++];
            continue;
        }
        if (at + 1 < pattern.size() && pattern[at + 1] == L'%') {
            name += L'%';
            at += 2;
            continue;
        }
        const std::size_t end = integerConversionEnd(pattern, at);
        if (end == std::wstring_view::npos || converted) {
            return {};
        }
        const std::wstring conversion = pattern.substr(at, end - at);
        wchar_t digits[kNameBufferUnits] = {};
        // The conversion was checked above: one integer conversion, one unsigned argument.
        const int written = std::swprintf(digits, kNameBufferUnits, conversion.c_str(), frame);
        if (written < 0) {
            return {};
        }
        name += digits;
        converted = true;
        at = end;
    }
    if (name.size() >= kNameBufferUnits) {
        name.resize(kNameBufferUnits - 1);
    }
    return name;
}

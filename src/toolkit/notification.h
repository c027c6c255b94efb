#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace SkinUI {

class Control;

// What controls tell their window: "click", "selectchanged", "tabselect", "timer", or a type
// the window chose itself. The time stamp is the host's millisecond clock when it was raised.
struct Notification {
    std::wstring type;
    Control* sender = nullptr;
    std::uint32_t timeStamp = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// Data that travels with a posted message and belongs to it: freed with the message, also when
// the window is gone before the message is handled.
class MessagePayload {
public:
    virtual ~MessagePayload() = default;
};

struct Message {
    std::uint32_t id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::unique_ptr<MessagePayload> payload;
};

// A close request travels as a posted message with this id and the result in wParam, so a
// window can refuse it in its message handler. Application ids are chosen above 0x400.
inline constexpr std::uint32_t kCloseMessage = 0x0010;

}  // namespace SkinUI

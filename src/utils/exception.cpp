#include "utils/exception.h"

#include "platform/text_encoding.h"
#include "utils/text.h"

namespace Utils {

Exception::Exception(const std::wstring& message)
    : message_(ToNarrow(message, platform::kCodePageAnsi)) {}

const char* Exception::what() const noexcept {
    return message_.empty() ? "Unknown exception" : message_.c_str();
}

}  // namespace Utils

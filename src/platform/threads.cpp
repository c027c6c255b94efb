#include "platform/threads.h"

#include <unistd.h>

#include <string>

namespace platform {

namespace {

// The kernel keeps 16 bytes for a thread name, the terminating NUL included.
constexpr std::size_t kMaxThreadNameBytes = 15;

bool isUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::uint32_t currentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

std::uint32_t currentThreadId() {
    return static_cast<std::uint32_t>(gettid());
}

void setThreadName(pthread_t thread, std::string_view name) {
    std::size_t length = name.size();
    if (length > kMaxThreadNameBytes) {
        length = kMaxThreadNameBytes;
        // The first byte left out continues a character: drop that character's leading bytes too.
        while (length > 0 && isUtf8Continuation(name[length])) {
            --length;
        }
    }
    pthread_setname_np(thread, std::string(name.substr(0, length)).c_str());
}

}  // namespace platform

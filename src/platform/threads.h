#pragma once

#include <pthread.h>

#include <cstdint>
#include <string_view>

namespace platform {

std::uint32_t currentProcessId();

// The kernel's id of the calling thread (what a debugger or top shows).
std::uint32_t currentThreadId();

// Names a thread for debuggers and /proc; names longer than the kernel's 15 bytes are cut
// (never in the middle of a UTF-8 sequence).
void setThreadName(pthread_t thread, std::string_view name);

}  // namespace platform

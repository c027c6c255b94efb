#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The debugger output stream of the installer: lines that a developer can watch while nobody
// else notices them. By default each line goes to syslog at debug priority as a non-blocking
// datagram, dropped when nobody listens (it must never stall a worker). BRIVANO_DEBUG_LOG=stderr
// sends the lines to the standard error stream, BRIVANO_DEBUG_LOG=<file> appends them to a file.
// The text is written as given (UTF-8), line ends included: the sink adds nothing.
namespace platform {

void outputDebugString(std::wstring_view text);

// While an object of this type exists, every line goes to it instead of the sink, so a test can
// check exactly what was written. One capture at a time.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    std::vector<std::wstring> lines() const;

private:
    friend void outputDebugString(std::wstring_view text);
    void append(std::wstring_view text);

    mutable std::mutex mutex_;  // writers are any thread; readers the test's
    std::vector<std::wstring> lines_;
};

}  // namespace platform

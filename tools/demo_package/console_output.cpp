#include "demo_package/console_output.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace demo_package {
namespace {

constexpr std::chrono::milliseconds kStepPauseMs{50};
// The installer passes on a text of at most this many UTF-16 units and an empty one beyond; a
// UTF-8 text never has fewer bytes than units, so a text within this many bytes always arrives.
constexpr std::size_t kMaxTextBytes = 771;
constexpr int kFailedExitCode = 1;

}  // namespace

void sayLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t put = write(STDOUT_FILENO, data, left);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return;  // nobody reads any more; the work goes on regardless
        }
        data += put;
        left -= static_cast<std::size_t>(put);
    }
}

void sayProgress(std::string_view fraction) {
    sayLine("Progress=" + std::string(fraction));
    std::this_thread::sleep_for(kStepPauseMs);
}

void sayEncoding() {
    sayLine("Encode=UTF8");
    std::this_thread::sleep_for(kStepPauseMs);
}

int reportFailure(std::string_view what, const std::string& path, std::error_code error) {
    const std::string reason = error ? " (" + error.message() + ")" : std::string();
    std::string text = std::string(what) + (path.empty() ? "" : ": " + path) + reason;
    if (text.size() > kMaxTextBytes) {
        text = std::string(what) + reason;
    }
    sayLine("Error=" + text);
    return kFailedExitCode;
}

}  // namespace demo_package

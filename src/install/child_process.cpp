#include "install/child_process.h"

#include "platform/text_encoding.h"
#include "utils/exception.h"

namespace {

constexpr int kPollIntervalMs = 100;
// What is left in the pipe once the child ended is taken up to the pipe's default capacity: a
// grandchild still writing must not keep the run reading for ever.
constexpr int kReadsAfterEnd = 64;

}  // namespace

void ChildProcess::Launch(const std::wstring& commandLine) {
    if (platform::utf16Length(commandLine) >= kCommandLineUnits) {
        throw Utils::Exception();
    }
    child_ = platform::SpawnedChild::spawn(commandLine);
    if (!child_) {
        throw Utils::Exception();
    }
}

void ChildProcess::FollowOutput(const std::function<void(std::string_view bytes)>& onOutput) {
    if (!child_) {
        return;
    }
    using Output = platform::SpawnedChild::Output;
    std::string chunk;
    while (true) {
        const Output got = child_->readOutput(chunk, kReadBytes, kPollIntervalMs);
        if (got == Output::Data) {
            onOutput(chunk);
        } else if (got == Output::Ended) {
            break;
        }
        if (child_->hasEnded()) {
            for (int read = 0; read < kReadsAfterEnd; ++read) {
                if (child_->readOutput(chunk, kReadBytes, 0) != Output::Data) {
                    break;
                }
                onOutput(chunk);
            }
            break;
        }
    }
    child_->waitForEnd();
}

#include "usage/flush_request.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "usage/sdk.h"
#include "usage/send_status.h"

namespace pelta::usage {
namespace {

constexpr auto kRequestPauseMs = std::chrono::milliseconds(1);
constexpr int kImmediateAttempts = 3;

// The request threads of the process. Each is owned here and joined here, so that none outlives
// the SDK instance or the HTTP library it sends with, and none is left joinable at exit.
class FlushRequests {
public:
    ~FlushRequests() { waitAll(); }

    void run(UnsentEventCounter& unsent, bool immediate) {
        // Request bodies take their turns, whichever thread runs them.
        const std::lock_guard lock(bodyMutex_);
        if (!immediate) {
            std::this_thread::sleep_for(kRequestPauseMs);
            ++unsent;
            return;
        }
        for (int attempt = 0; attempt < kImmediateAttempts; ++attempt) {
            if (unsent.load() < 1) {
                return;
            }
            if (usage_analytics::Sdk::Exists() && usage_analytics::Sdk::Flush()) {
                unsent.store(0);
                return;
            }
            std::this_thread::sleep_for(kRequestPauseMs);
        }
    }

    // False when the system would give no thread.
    bool start(const std::shared_ptr<UnsentEventCounter>& unsent, bool immediate) {
        bool started = true;
        std::vector<std::thread> finished;
        {
            const std::lock_guard lock(threadsMutex_);
            finished.swap(finished_);
            const auto self = running_.emplace(running_.end());
            try {
                // The thread reaches its own entry only through threadsMutex_, so not before the
                // entry holds it.
                *self = std::thread([this, self, unsent, immediate] {
                    run(*unsent, immediate);
                    const std::lock_guard lock(threadsMutex_);
                    finished_.push_back(std::move(*self));
                    running_.erase(self);
                    if (running_.empty()) {
                        noneRunning_.notify_all();
                    }
                });
            } catch (const std::system_error&) {
                running_.erase(self);
                started = false;
            }
        }
        joinAll(finished);
        return started;
    }

    void waitAll() {
        std::vector<std::thread> finished;
        {
            std::unique_lock lock(threadsMutex_);
            noneRunning_.wait(lock, [this] { return running_.empty(); });
            finished.swap(finished_);
        }
        joinAll(finished);
    }

private:
    // Threads that are past their last touch of shared state: joining them is quick.
    static void joinAll(std::vector<std::thread>& threads) {
        for (std::thread& thread : threads) {
            thread.join();
        }
    }

    std::mutex bodyMutex_;  // the request mutex of the process

    std::mutex threadsMutex_;  // running_ and finished_: request threads and their starters
    std::condition_variable noneRunning_;
    std::list<std::thread> running_;
    std::vector<std::thread> finished_;
};

FlushRequests& flushRequests() {
    static FlushRequests requests;
    return requests;
}

}  // namespace

void requestFlush(std::shared_ptr<UnsentEventCounter> unsent, bool immediate) {
    FlushRequests& requests = flushRequests();
    if (usage_analytics::lastSendSucceeded()) {
        requests.run(*unsent, immediate);
        return;
    }
    platform::outputDebugString(L"[Usage] Sending messages asynchronously");
    if (!requests.start(unsent, immediate)) {
        requests.run(*unsent, immediate);
    }
}

void waitForFlushRequests() {
    flushRequests().waitAll();
}

}  // namespace pelta::usage

#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "download/download_codes.h"
#include "download/downloader.h"
#include "platform/text_encoding.h"
#include "utils/text.h"

namespace test_support {

// How long a test waits for a download's reports before it counts as hung.
inline constexpr std::chrono::seconds kPipelineTimeoutSec{30};

// One report of a downloader, as the pipeline receives it.
struct Event {
    std::int32_t code;
    double value;
    std::wstring text;
    bool operator==(const Event&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Event& event) {
    return out << "{" << event.code << ", " << event.value << ", \""
               << Utils::ToNarrow(event.text, platform::kCodePageUtf8) << "\"}";
}

inline bool isFinal(std::int32_t code) {
    return code == DL_CODE_SUCCESS || code == DL_CODE_FAIL;
}

// Collects a downloader's reports from its threads, as the pipeline's handler would, and runs a
// hook inside the callback after recording, where the pipeline would react to the report.
class PipelineRecorder {
public:
    PipelineCallback callback() {
        return [this](std::int32_t code, double value, const wchar_t* text) {
            const Event event{code, value, text};
            std::function<void(const Event&)> hook;
            {
                const std::lock_guard lock(mutex_);
                events_.push_back(event);
                hook = hook_;
            }
            changed_.notify_all();
            if (hook) {
                hook(event);
            }
        };
    }

    // Runs inside the callback, on the downloader's thread, for every report from now on.
    void setHook(std::function<void(const Event&)> hook) {
        const std::lock_guard lock(mutex_);
        hook_ = std::move(hook);
    }

    // Waits until `count` reports with `code` arrived.
    bool waitFor(std::int32_t code, std::size_t count,
                 std::chrono::milliseconds timeout = kPipelineTimeoutSec) {
        return waitUntil(timeout, [&] {
            return countOf([&](const Event& event) { return event.code == code; }) >= count;
        });
    }
    // Waits until `count` reports for which `matches` holds arrived.
    template <typename Matches>
    bool waitForMatching(Matches matches, std::size_t count = 1,
                         std::chrono::milliseconds timeout = kPipelineTimeoutSec) {
        return waitUntil(timeout, [&] { return countOf(matches) >= count; });
    }
    // Waits until `count` final reports (success or failure) arrived.
    bool waitForFinal(std::size_t count = 1,
                      std::chrono::milliseconds timeout = kPipelineTimeoutSec) {
        return waitUntil(timeout, [&] {
            return countOf([](const Event& event) { return isFinal(event.code); }) >= count;
        });
    }
    // Waits until the latest progress report is at least `fraction`.
    bool waitForProgress(double fraction = 0.0,
                         std::chrono::milliseconds timeout = kPipelineTimeoutSec) {
        return waitUntil(timeout, [&] {
            const auto last = std::find_if(events_.rbegin(), events_.rend(), [](const Event& e) {
                return e.code == DL_CODE_PROGRESS;
            });
            return last != events_.rend() && last->value >= fraction;
        });
    }

    // Every report, progress included.
    std::vector<Event> events() const {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    // The reports without progress, which varies with timing.
    std::vector<Event> milestones() const {
        std::vector<Event> kept;
        for (const Event& event : events()) {
            if (event.code != DL_CODE_PROGRESS) {
                kept.push_back(event);
            }
        }
        return kept;
    }
    // The values of the progress reports, in arrival order.
    std::vector<double> progress() const {
        std::vector<double> values;
        for (const Event& event : events()) {
            if (event.code == DL_CODE_PROGRESS) {
                values.push_back(event.value);
            }
        }
        return values;
    }

private:
    template <typename Done>
    bool waitUntil(std::chrono::milliseconds timeout, Done done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, done);
    }
    template <typename Matches>
    std::size_t countOf(Matches matches) const {
        return static_cast<std::size_t>(std::count_if(events_.begin(), events_.end(), matches));
    }

    mutable std::mutex mutex_;  // the downloader's threads write, the test thread reads
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::function<void(const Event&)> hook_;
};

// A downloader behind a recorder. Destroyed before the recorder it reports to.
template <typename Downloader>
class RecordedPipeline : public PipelineRecorder {
public:
    RecordedPipeline(const std::string& url, const std::wstring& savePath)
        : downloader_(
              std::make_unique<Downloader>(callback(), platform::wideFromUtf8(url), savePath)) {}

    // As the pipeline does: calls StartDownload from inside the callback on a report with
    // `code`, after `beforeRestart` (whatever the test puts on disk between the runs).
    void restartOn(std::int32_t code, std::function<void()> beforeRestart = {}) {
        setHook([this, code, beforeRestart = std::move(beforeRestart)](const Event& event) {
            if (event.code != code) {
                return;
            }
            if (beforeRestart) {
                beforeRestart();
            }
            downloader_->StartDownload();
        });
    }

    void start() { downloader_->StartDownload(); }
    void destroy() { downloader_.reset(); }

private:
    std::unique_ptr<Downloader> downloader_;
};

}  // namespace test_support

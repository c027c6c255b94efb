#include "download/win_downloader.h"

#include "download/download_codes.h"
#include "utils/text.h"

namespace {

constexpr int kAttempts = 3;
constexpr int kRetryPauseMs = 1000;
constexpr std::int32_t kNotImplemented = std::int32_t(0x80004001);  // E_NOTIMPL
constexpr wchar_t kMechanism[] = L"URLDownloadToFile";
constexpr wchar_t kFileUrlPrefix[] = L"file:///";

}  // namespace

CWinDownloader::CBindCallback::~CBindCallback() {
    abort();
    callback_ = nullptr;
}

std::int32_t CWinDownloader::CBindCallback::OnProgress(std::uint64_t progress,
                                                       std::uint64_t progressMax) {
    if (aborted_) {
        return platform::kUrlDownloadAborted;
    }
    if (progressMax == 0) {
        return platform::kUrlDownloadOk;
    }
    // 64-bit on both sides, so that packages of 4 GiB and more report a true fraction.
    notify(DL_CODE_PROGRESS, static_cast<double>(progress) / static_cast<double>(progressMax), L"");
    return platform::kUrlDownloadOk;
}

std::int32_t CWinDownloader::CBindCallback::GetBindInfo(platform::UrlDownloadOptions* bindInfo) {
    if (bindInfo != nullptr) {
        bindInfo->urlCodePage = platform::kCodePageUtf8;
    }
    return kNotImplemented;
}

void CWinDownloader::CBindCallback::notify(std::int32_t code, double value,
                                           const wchar_t* text) const {
    if (!aborted_ && callback_) {
        callback_(code, value, text);
    }
}

CWinDownloader::CWinDownloader(PipelineCallback callback, std::wstring url,
                               std::wstring packagePath)
    : callback_(std::move(callback)),
      path_(std::move(packagePath)),
      url_(std::move(url)),
      thread_(this, L"ABDEF", [this](void*) { runLoop(); }) {}

CWinDownloader::~CWinDownloader() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    bindCallback_.abort();
    wake_.notify_all();
    thread_.Join();
}

void CWinDownloader::StartDownload() {
    std::unique_lock lock(mutex_);
    if (stopping_) {
        return;
    }
    // Runs are queued rather than started here: a run that ended in DL_CODE_FAIL must be able to
    // run again (the window's reinstall button asks for it), possibly from inside that run's own
    // callback, and two runs must never write the package at once.
    ++pendingRuns_;
    if (started_) {
        lock.unlock();
        wake_.notify_all();
        return;
    }
    started_ = true;
    bindCallback_.setCallback(callback_);
    lock.unlock();
    thread_.Resume();
}

void CWinDownloader::runLoop() {
    while (true) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return pendingRuns_ > 0 || stopping_; });
            if (stopping_) {
                return;
            }
            --pendingRuns_;
        }
        downloadRun();
    }
}

bool CWinDownloader::pause(int ms) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void CWinDownloader::downloadRun() {
    bindCallback_.notify(DL_CODE_START, 1.0, L"");
    if (path_.empty()) {
        bindCallback_.notify(DL_CODE_FAIL, 1.0, L"");
    }
    const std::wstring url = url_.starts_with(kFileUrlPrefix) ? url_ : Utils::UrlEncodeW(url_);
    platform::UrlDownloadOptions options;
    bindCallback_.GetBindInfo(&options);
    const auto progress = [this](std::uint64_t done, std::uint64_t total) {
        return bindCallback_.OnProgress(done, total) == platform::kUrlDownloadOk;
    };

    std::int32_t result = platform::kUrlDownloadOk;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        result = platform::downloadUrlToFile(url, path_, progress, options);
        if (result == platform::kUrlDownloadOk) {
            bindCallback_.notify(DL_CODE_SUCCESS, 0.0, kMechanism);
            return;
        }
        if (!pause(kRetryPauseMs)) {
            return;
        }
    }
    bindCallback_.notify(DL_CODE_FAIL, result, kMechanism);
}

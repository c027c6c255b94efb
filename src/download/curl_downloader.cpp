#include "download/curl_downloader.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "download/download_codes.h"
#include "platform/path.h"
#include "utils/checksum.h"
#include "utils/log.h"

namespace {

constexpr int kRetryBudget = 12;
constexpr int kPartialFileCost = 1;
constexpr int kOtherFailureCost = 2;
constexpr std::chrono::milliseconds kRetryPauseMs{500};
constexpr std::size_t kMd5Chars = 32;
constexpr wchar_t kMechanism[] = L"LibCurl";

}  // namespace

CCurlDownloader::CCurlDownloader(PipelineCallback callback, std::wstring url,
                                 std::wstring packagePath)
    : callback_(std::move(callback)),
      packagePath_(std::move(packagePath)),
      url_(std::move(url)),
      client_(url_, packagePath_, this, &CCurlDownloader::OnProgress) {
    // A new downloader never resumes what some earlier one left behind.
    std::remove(platform::nativePath(client_.GetPartPath(true)).c_str());
}

CCurlDownloader::~CCurlDownloader() {
    {
        std::lock_guard lock(callbackMutex_);
        callbackOpen_ = false;
    }
    {
        std::lock_guard lock(stateMutex_);
        stopping_ = true;
    }
    stopRequested_.notify_all();
    client_.Cancel();
    worker_.reset();
}

void CCurlDownloader::StartDownload() {
    {
        std::lock_guard lock(stateMutex_);
        if (std::this_thread::get_id() == workerId_) {
            restartRequested_ = true;
            return;
        }
    }
    worker_.reset();
    worker_ = std::make_unique<Utils::Thread>(this, L"ABDEF", [](void* parameter) {
        static_cast<CCurlDownloader*>(parameter)->dlThreadFun();
    });
    worker_->Resume();
}

void CCurlDownloader::OnProgress(void* owner, double speed, double, double percent) {
    if (speed > 0.0 && percent <= 100.0) {
        static_cast<CCurlDownloader*>(owner)->notify(DL_CODE_PROGRESS, percent / 100.0, L"");
    }
}

void CCurlDownloader::notify(std::int32_t code, double value, const wchar_t* text) {
    std::lock_guard lock(callbackMutex_);
    if (callbackOpen_ && callback_) {
        callback_(code, value, text);
    }
}

bool CCurlDownloader::pauseBeforeRetry() {
    std::unique_lock lock(stateMutex_);
    return !stopRequested_.wait_for(lock, kRetryPauseMs, [this] { return stopping_; });
}

void CCurlDownloader::dlThreadFun() {
    {
        std::lock_guard lock(stateMutex_);
        workerId_ = std::this_thread::get_id();
    }
    for (;;) {
        runOnce();
        std::lock_guard lock(stateMutex_);
        if (!restartRequested_ || stopping_) {
            workerId_ = {};
            return;
        }
        restartRequested_ = false;
    }
}

void CCurlDownloader::runOnce() {
    notify(DL_CODE_START, 1.0, L"");
    if (packagePath_.empty()) {
        notify(DL_CODE_FAIL, 1.0, L"");
    }
    std::int32_t result = client_.Start();
    int budget = kRetryBudget;
    while (result != 0) {
        budget -= result == CURLE_PARTIAL_FILE ? kPartialFileCost : kOtherFailureCost;
        if (budget <= 0) {
            notify(DL_CODE_FAIL, result, kMechanism);
            return;
        }
        Utils::Log({L"CCurlDownloader::dlThreadFun"}, L"CurlDownLoader Code=%d\r\n", result);
        if (!pauseBeforeRetry()) {
            return;
        }
        result = client_.Start();
    }

    const std::string expectedMd5 = Utils::GetUrlMd5(client_.realUrl());
    if (expectedMd5.size() == kMd5Chars) {
        // A file we cannot read (empty checksum) is not a verified package: it counts as a
        // mismatch.
        if (Utils::GetFileMd5(platform::nativePath(packagePath_)) != expectedMd5) {
            notify(DL_CODE_REPORT, 0.0, L"curl文件md5校验失败");
            if (retried_) {
                notify(DL_CODE_FAIL, 0.0, kMechanism);
            } else {
                retried_ = true;
                notify(DL_CODE_RETRY, 0.0, kMechanism);
            }
            return;
        }
    } else {
        notify(DL_CODE_REPORT, 0.0, L"curl获取url-md5失败");
    }
    notify(DL_CODE_SUCCESS, 0.0, kMechanism);
}

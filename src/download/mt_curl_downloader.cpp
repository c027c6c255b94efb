#include "download/mt_curl_downloader.h"

#include <cstdio>
#include <string>
#include <utility>

#include "platform/text_encoding.h"
#include "utils/text.h"

namespace {

constexpr int kPartFileCount = 2;
constexpr char kPartIndexSeparator[] = "_";

}  // namespace

CMTCurlDownloader::CMTCurlDownloader(PipelineCallback callback, std::wstring url,
                                     std::wstring savePath)
    : callback_(std::move(callback)), savePath_(std::move(savePath)), url_(std::move(url)) {
    const std::string ansiSavePath = Utils::ToNarrow(savePath_, platform::kCodePageAnsi);
    std::remove(ansiSavePath.c_str());
    DeletePartFiles(ansiSavePath);
}

CMTCurlDownloader::~CMTCurlDownloader() {
    {
        // Taking lock_ waits out a report in flight; once the flag is set none starts.
        std::lock_guard lock(lock_);
        cancel_ = true;
    }
    std::unique_ptr<Utils::Thread> runThread;
    {
        std::lock_guard lock(runMutex_);
        destroying_ = true;
        runThread = std::move(runThread_);
    }
    runChanged_.notify_all();
    // Joins the run thread, which joins every thread of the current run.
    runThread.reset();
}

void CMTCurlDownloader::StartDownload() {
    std::lock_guard lock(runMutex_);
    if (destroying_) {
        return;
    }
    ++pendingRuns_;
    if (!runThread_) {
        // One thread serialises the runs, so a StartDownload made from inside the callback (on a
        // thread of the run it restarts) neither joins itself nor overlaps the ending run.
        runThread_ = std::make_unique<Utils::Thread>(this, L"MTCurlRuns", [](void* owner) {
            static_cast<CMTCurlDownloader*>(owner)->runRequestedRuns();
        });
        runThread_->Resume();
    }
    runChanged_.notify_all();
}

void CMTCurlDownloader::runRequestedRuns() {
    while (startRequested()) {
        runOnce();
    }
}

bool CMTCurlDownloader::startRequested() {
    std::unique_lock lock(runMutex_);
    runChanged_.wait(lock, [this] { return destroying_ || pendingRuns_ > 0; });
    if (destroying_) {
        return false;
    }
    --pendingRuns_;
    return true;
}

void CMTCurlDownloader::runOnce() {
    starterThread_ = std::make_unique<Utils::Thread>(this, L"ABDEF", &Start_Down);
    starterThread_->Resume();
    starterThread_->Join();
    starterThread_.reset();
    // The starter made these before it ended; the waiter has joined the part threads unless a
    // cancel stopped the starter before the waiter existed.
    finishThread_.reset();
    partThreads_.clear();
    ReleaseParts();
}

bool CMTCurlDownloader::sleepUnlessCancelled(std::chrono::milliseconds pause) {
    std::unique_lock lock(runMutex_);
    return runChanged_.wait_for(lock, pause, [this] { return destroying_ || cancelled(); });
}

void CMTCurlDownloader::report(std::int32_t code, double value, const wchar_t* text) {
    std::lock_guard lock(lock_);
    reportLocked(code, value, text);
}

void CMTCurlDownloader::reportLocked(std::int32_t code, double value, const wchar_t* text) {
    if (!cancelled() && callback_) {
        callback_(code, value, text);
    }
}

void CMTCurlDownloader::ReleaseParts() {
    // Each node closes its file and cleans up its handle.
    parts_.clear();
}

std::string CMTCurlDownloader::GetPartFilePath(const std::string& ansiSavePath, int index) {
    return ansiSavePath + kPartIndexSeparator + std::to_string(index);
}

void CMTCurlDownloader::DeletePartFiles(const std::string& ansiSavePath) {
    for (int index = 0; index < kPartFileCount; ++index) {
        std::remove(GetPartFilePath(ansiSavePath, index).c_str());
    }
}

#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "download/downloader.h"
#include "platform/url_download.h"
#include "utils/thread.h"

// The fallback downloader: the system's URL download, three attempts, no checksum.
class CWinDownloader : public CDownloader {
public:
    // What the system download calls back during a transfer. It holds its own copy of the
    // downloader callback and the abort flag that stops a transfer at its next progress call.
    class CBindCallback {
    public:
        CBindCallback() = default;
        // Sets the abort flag and lets go of the callback copy.
        ~CBindCallback();
        CBindCallback(const CBindCallback&) = delete;
        CBindCallback& operator=(const CBindCallback&) = delete;

        // kUrlDownloadAborted once the abort flag is set; otherwise reports progress / maximum
        // (nothing while the maximum is 0) and answers 0.
        std::int32_t OnProgress(std::uint64_t progress, std::uint64_t progressMax);
        // The URL is UTF-8. Answers E_NOTIMPL, as the system expects of a callback that only
        // adjusts the record.
        std::int32_t GetBindInfo(platform::UrlDownloadOptions* bindInfo);

        // Before the first run only: the copy is read without a lock afterwards.
        void setCallback(PipelineCallback callback) { callback_ = std::move(callback); }
        void abort() { aborted_ = true; }
        bool aborted() const { return aborted_; }
        // Sends through the copy unless the abort flag is set: a downloader being destroyed
        // reports nothing more.
        void notify(std::int32_t code, double value, const wchar_t* text) const;

    private:
        PipelineCallback callback_;
        std::atomic<bool> aborted_ = false;
    };

    CWinDownloader(PipelineCallback callback, std::wstring url, std::wstring packagePath);
    // Aborts a transfer in progress and waits for the run to end; no callback comes afterwards.
    ~CWinDownloader() override;
    CWinDownloader(const CWinDownloader&) = delete;
    CWinDownloader& operator=(const CWinDownloader&) = delete;

    // Returns at once. Each call is one run; a call while a run is active (from its callback
    // included) queues the next run, which begins when the current one has ended.
    void StartDownload() override;

private:
    void runLoop();
    void downloadRun();
    // Waits `ms` milliseconds; false as soon as the downloader is being destroyed.
    bool pause(int ms);

    CBindCallback bindCallback_;
    PipelineCallback callback_;
    std::wstring path_;
    std::wstring url_;

    // The worker and StartDownload callers share these.
    std::mutex mutex_;
    std::condition_variable wake_;
    int pendingRuns_ = 0;
    bool started_ = false;
    bool stopping_ = false;

    // Last, so that it is joined before the state above goes.
    Utils::Thread thread_;
};

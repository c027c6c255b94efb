#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "download/curl_client.h"
#include "download/downloader.h"
#include "utils/thread.h"

// The single-stream downloader: one CurlClient on a worker thread, retried within a budget, then
// checked against the MD5 that names the package's folder on the download server.
class CCurlDownloader : public CDownloader {
public:
    CCurlDownloader(PipelineCallback callback, std::wstring url, std::wstring packagePath);
    // Cancels a running transfer and waits for the worker; no callback arrives once this has
    // begun. Must not be called from inside the callback.
    ~CCurlDownloader() override;

    CCurlDownloader(const CCurlDownloader&) = delete;
    CCurlDownloader& operator=(const CCurlDownloader&) = delete;

    // Waits for the previous run, then starts a new one. Called from inside the callback (the
    // pipeline restarting on DL_CODE_RETRY), it only asks the worker to run again once the
    // current run has returned, so the worker never waits on itself and runs never overlap.
    void StartDownload() override;

private:
    static void OnProgress(void* owner, double speed, double reserved, double percent);
    void dlThreadFun();
    void runOnce();
    void notify(std::int32_t code, double value, const wchar_t* text);
    // False when the downloader is being destroyed during the pause.
    bool pauseBeforeRetry();

    PipelineCallback callback_;
    std::wstring packagePath_;
    std::wstring url_;
    CurlClient client_;
    std::unique_ptr<Utils::Thread> worker_;
    // Worker thread only (runs are serialised by the join in StartDownload).
    bool retried_ = false;

    // Shared by the worker, StartDownload's callers and the destructor.
    std::mutex stateMutex_;
    std::condition_variable stopRequested_;
    bool stopping_ = false;
    bool restartRequested_ = false;
    std::thread::id workerId_;

    // Held while the callback runs, so the destructor can close the gate after the last one.
    std::mutex callbackMutex_;
    bool callbackOpen_ = true;
};

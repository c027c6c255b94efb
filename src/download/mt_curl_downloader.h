#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/download_part_node.h"
#include "download/downloader.h"
#include "utils/thread.h"

// Downloads the package over at most two parallel ranged transfers, one part file each, merges
// the parts into the save path and checks the result against the MD5 named by the URL's last
// folder. Reports DL_CODE_START, PROGRESS, REPORT and one of SUCCESS, RETRY or FAIL per run.
//
// Runs never overlap: each StartDownload asks for one run, and a run begins only after every
// thread of the previous one (starter, part threads, finish waiter) has ended. StartDownload may
// be called from inside the callback (the pipeline restarts on DL_CODE_RETRY that way); it
// returns at once. Destroying the downloader cancels the transfers, joins every thread and
// sends nothing more; it must not be destroyed from inside its own callback.
class CMTCurlDownloader : public CDownloader {
public:
    // Deletes the file at the save path and both part files. Starts nothing.
    CMTCurlDownloader(PipelineCallback callback, std::wstring url, std::wstring savePath);
    ~CMTCurlDownloader() override;

    CMTCurlDownloader(const CMTCurlDownloader&) = delete;
    CMTCurlDownloader& operator=(const CMTCurlDownloader&) = delete;

    void StartDownload() override;

    // The path of part file `index` of a save path in the ANSI charset: "<save path>_<index>".
    static std::string GetPartFilePath(const std::string& ansiSavePath, int index);
    // Deletes part files 0 and 1, whatever the part count; missing files are ignored.
    static void DeletePartFiles(const std::string& ansiSavePath);

private:
    // Thread entries; the owner is this downloader.
    static void Start_Down(void* owner);
    static void downloadThreadFun(void* owner, DownloadPartNode* part);
    static void waitForFinishThreadFun(void* owner);

    // Header-only request for the effective URL, the expected MD5 and the length. True when a
    // URL and a length above 255 bytes were found.
    bool getRealDownloadUrl(const std::string& url);
    // One transfer attempt of a part; 0 on success, else a libcurl result.
    static std::int32_t downloadExe(void* owner, DownloadPartNode* part);

    // libcurl callbacks of the part transfers.
    static std::size_t WritePart(char* data, std::size_t size, std::size_t count, void* node);
    static std::size_t KeepContentRange(char* data, std::size_t size, std::size_t count,
                                        void* node);
    static int OnPartsProgress(void* owner, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    // The probe's progress function: it only lets a cancel end the request.
    static int AbortWhenCancelled(void* owner, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    // Starter steps.
    void makeParts(const std::string& ansiSavePath);
    void startPartThreads();

    // Finish steps. mergeParts is false when the package could not be put in place.
    bool mergeParts(const std::string& ansiSavePath);
    void finishVerified(const std::string& ansiSavePath, std::int32_t firstError);
    void finishFailed(const std::string& ansiSavePath, std::int32_t firstError);

    void ReleaseParts();

    // Serialises the runs: waits for requests and runs each to its end.
    void runRequestedRuns();
    bool startRequested();
    void runOnce();

    // Waits up to `pause`; returns early, with true, once the run is cancelled.
    bool sleepUnlessCancelled(std::chrono::milliseconds pause);
    bool cancelled() const { return cancel_.load(); }

    // Sends one event unless the downloader is being destroyed; reportLocked with lock_ held.
    void report(std::int32_t code, double value, const wchar_t* text);
    void reportLocked(std::int32_t code, double value, const wchar_t* text);

    // The text of every final report.
    static constexpr wchar_t kMechanism[] = L"LibCurl";
    // Anything shorter is taken for an error page, not a package.
    static constexpr std::int64_t kMinFileBytes = 256;
    static constexpr long kConnectTimeoutSec = 60;

    // A run's parts. Filled by the starter before any part thread starts, released by the finish
    // waiter after the part threads have ended; the progress step of both part threads reads it.
    std::vector<std::unique_ptr<DownloadPartNode>> parts_;
    PipelineCallback callback_;
    std::wstring savePath_;
    std::wstring url_;
    // Written by the starter's probe, read by the part threads it starts later; kept across runs.
    std::string realUrl_;
    std::int64_t fileLength_ = -1;
    std::string expectedMd5_;

    // Progress state, shared by both part threads, the starter and the finish waiter; under
    // lock_. Every report is sent while lock_ is held, so reports never interleave, progress
    // values arrive in order, and none starts once the destructor has set the cancel flag.
    std::mutex lock_;
    double lastPercent_ = 0.0;
    std::int64_t lastProgressSecond_ = 0;

    // Decremented by each part thread as its last action; the finish waiter waits for zero.
    std::atomic<std::int32_t> runningParts_{0};
    // Touched by the starter and the finish waiter of consecutive runs only.
    bool retried_ = false;

    // Set once, by the destructor (under lock_ and runMutex_): transfers abort, retries and
    // pauses end, and no report is sent any more.
    std::atomic<bool> cancel_{false};

    // Run control, under runMutex_: requested runs, the running-part count's wake-ups, and
    // cancellation of pauses all go through runChanged_.
    std::mutex runMutex_;
    std::condition_variable runChanged_;
    int pendingRuns_ = 0;
    bool destroying_ = false;

    // The threads of a run. The starter is made and joined by the run thread; the starter makes
    // the part threads and the finish waiter; the waiter joins the part threads, the run thread
    // joins the waiter (and the part threads when a cancel stopped the starter before the
    // waiter existed).
    std::unique_ptr<Utils::Thread> starterThread_;
    std::vector<std::unique_ptr<Utils::Thread>> partThreads_;
    std::unique_ptr<Utils::Thread> finishThread_;
    // Lives from the first StartDownload to destruction, under runMutex_.
    std::unique_ptr<Utils::Thread> runThread_;
};

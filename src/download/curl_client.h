#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "download/curl_handles.h"

// The client's own results of Start, next to libcurl's positive codes. Append only: the numbers
// reach the pipeline as DL_CODE_FAIL values and the analytics reports.
inline constexpr std::int32_t kCurlClientRenameFailed = -995;  // target not in place after success
inline constexpr std::int32_t kCurlClientPartFileFailed = -996;  // part file could not be opened
inline constexpr std::int32_t kCurlClientNoHandle = -997;        // curl_easy_init failed
inline constexpr std::int32_t kCurlClientTooSmall = -998;        // no length of at least 1 MiB

// Packages below this length are never downloaded: anything shorter is an error page.
inline constexpr double kMinDownloadBytes = 1048576.0;

// Receives (owner, download speed in bytes per second, always 0.0, percent done).
using ProgressSink = void (*)(void* owner, double speed, double reserved, double percent);

// The write function of every header-only probe: takes every buffer, keeps nothing.
std::size_t DiscardBody(char* data, std::size_t size, std::size_t count, void* userData);

// libcurl's text for one of its result codes.
std::wstring curlErrorText(std::int32_t code);

// A URL as libcurl takes it: a local file URL names a path, which is in the ANSI charset;
// everything else is UTF-8.
std::string narrowUrl(const std::wstring& url);

// The effective URL after redirects of a finished handle; empty when unavailable.
std::string GetRealUrl(CURL* handle);

// Downloads one URL into "<save path>.part", resuming what an earlier attempt left there, and
// renames it to the save path on success. Start runs on the owner's worker thread and blocks for
// the whole transfer; only Cancel may be called from another thread.
class CurlClient {
public:
    CurlClient(std::wstring url, std::wstring savePath, void* owner, ProgressSink sink);
    // Removes a part file that is left, so an abandoned download leaves nothing behind.
    ~CurlClient();

    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    // 0 on success, a libcurl result code, or one of the kCurlClient* codes above.
    std::int32_t Start();

    // The save path with ".part" appended (true) or the save path itself (false).
    std::wstring GetPartPath(bool withSuffix) const;

    // Makes the running (or next) transfer end with CURLE_ABORTED_BY_CALLBACK at its next
    // progress step. Safe from any thread; never cleared.
    void Cancel();

    // The URL actually downloaded, once a Start found it; kept across Start calls.
    const std::string& realUrl() const { return realUrl_; }
    // The system text of the last failure to open the part file.
    const std::wstring& errorText() const { return errorText_; }

    // Header-only probes, usable without a client. Head returns the finished handle (none when a
    // handle cannot be made), to be read with GetRealUrl and GetDownloadFileLength.
    static CurlEasyHandle Head(const std::string& url);
    // Content length of a finished handle; -1.0 when unknown.
    static double GetDownloadFileLength(CURL* handle);
    // The effective URL after redirects, or the given URL when the probe fails.
    static std::string GetRealUrl_Str(const std::string& url);
    // Content length without following redirects; -1.0 when unknown. An unexpected status is
    // reported to analytics.
    static double GetDownloadFileLength_Str(const std::string& url);

    // The transfer's CURLOPT_XFERINFOFUNCTION, with the client as its data.
    static int ProgressCallback(void* client, curl_off_t total, curl_off_t now, curl_off_t,
                                curl_off_t);

private:
    std::wstring url_;
    std::wstring savePath_;
    void* owner_;
    // Set while a transfer runs; read only by the progress step on the same thread.
    CURL* transfer_ = nullptr;
    ProgressSink progressSink_;
    double fileLength_ = -1.0;
    std::int64_t resumeOffset_ = -1;
    std::int64_t lastProgressSecond_ = 0;
    // Written by the owner's destructor on another thread while Start runs.
    std::atomic<bool> cancel_{false};
    std::wstring errorText_;
    std::string realUrl_;
};

#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "download/curl_client.h"
#include "download/curl_handles.h"

class CMTCurlDownloader;

// Part statuses besides libcurl's results.
inline constexpr std::int32_t kPartToDownload = -1;
inline constexpr std::int32_t kPartComplete = 0;
// The part file could not be opened, or (while merging) read, written or renamed.
inline constexpr std::int32_t kPartFileFailed = -2;

// One byte range of the package and the part file that collects it. Made by the starter; from
// then on written only by its own part thread, except `downloaded`, which the other part's
// progress step reads. The finish waiter reads it after the part thread has ended.
struct DownloadPartNode {
    FileHandle file;
    // Absolute offsets in the whole file; 64-bit so that packages of 2 GiB and more work.
    curl_off_t nextOffset = 0;
    curl_off_t lastOffset = -1;
    CurlEasyHandle handle;
    std::string url;
    std::string partPath;
    std::int32_t status = kPartToDownload;
    std::atomic<std::int64_t> downloaded{0};

    // The run this part belongs to: its cancel flag and the whole file's length.
    CMTCurlDownloader* owner = nullptr;

    // State of the running attempt. A server that ignores Range answers 200 with the whole body,
    // which would land in the wrong part, so the first buffer of an attempt is checked against
    // the status and Content-Range before anything is written.
    curl_off_t attemptFirstOffset = 0;
    bool answerChecked = false;
    std::string contentRange;
};

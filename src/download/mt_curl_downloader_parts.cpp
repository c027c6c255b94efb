// The part threads: ranged transfers into the part files, their retries and the progress step.
#include <strings.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "download/curl_client.h"
#include "download/download_codes.h"
#include "download/mt_curl_downloader.h"
#include "utils/log.h"

namespace {

constexpr int kRetryBudget = 12;
constexpr int kPartialFileCost = 1;
constexpr int kOtherFailureCost = 2;
constexpr auto kRetryPauseMs = std::chrono::milliseconds(400);
constexpr long kLowSpeedLimitBytesPerSec = 1;
constexpr long kLowSpeedTimeSec = 5;
constexpr std::size_t kRangeChars = 64;
constexpr double kFullPercent = 100.0;
constexpr double kMinPercentStep = 1.0;

constexpr long kStatusOk = 200;
constexpr long kStatusPartialContent = 206;
constexpr std::string_view kStatusLinePrefix = "HTTP/";
constexpr std::string_view kContentRangeName = "content-range:";
constexpr std::string_view kBytesUnit = "bytes ";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool readNumber(std::string_view& text, long long& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc()) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

// "bytes <first>-<last>/<total or *>" of exactly the range asked for, of a file of this length.
bool contentRangeMatches(std::string_view value, curl_off_t first, curl_off_t last,
                         std::int64_t fileLength) {
    long long answeredFirst = 0;
    long long answeredLast = 0;
    if (!value.starts_with(kBytesUnit)) {
        return false;
    }
    value.remove_prefix(kBytesUnit.size());
    if (!readNumber(value, answeredFirst) || !value.starts_with('-')) {
        return false;
    }
    value.remove_prefix(1);
    if (!readNumber(value, answeredLast) || !value.starts_with('/')) {
        return false;
    }
    value.remove_prefix(1);
    if (answeredFirst != first || answeredLast != last) {
        return false;
    }
    long long total = 0;
    return value == "*" || (readNumber(value, total) && value.empty() && total == fileLength);
}

// Only a 206 of exactly the requested range is this part's data; a 200 carries the whole file,
// which is right only when the range asked for was the whole file.
bool answerFitsRange(const DownloadPartNode& part, std::int64_t fileLength) {
    long status = 0;
    if (curl_easy_getinfo(part.handle.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return false;
    }
    if (status == kStatusOk) {
        return part.attemptFirstOffset == 0 && part.lastOffset == fileLength - 1;
    }
    return status == kStatusPartialContent &&
           contentRangeMatches(part.contentRange, part.attemptFirstOffset, part.lastOffset,
                               fileLength);
}

}  // namespace

std::int32_t CMTCurlDownloader::downloadExe(void* owner, DownloadPartNode* part) {
    CURL* curl = part->handle.get();
    if (curl == nullptr) {
        part->status = CURLE_FAILED_INIT;
        return part->status;
    }
    // 64-bit offsets, so ranges beyond 2 GiB are asked for right.
    char range[kRangeChars];
    std::snprintf(range, sizeof range, "%lld-%lld", static_cast<long long>(part->nextOffset),
                  static_cast<long long>(part->lastOffset));
    part->attemptFirstOffset = part->nextOffset;
    part->answerChecked = false;
    part->contentRange.clear();

    // Certificate and host checks stay at libcurl's defaults: the package is run with
    // administrator rights, so where it comes from must be verified.
    int options = curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    options |= curl_easy_setopt(curl, CURLOPT_URL, part->url.c_str());
    options |= curl_easy_setopt(curl, CURLOPT_TIMEOUT, 0L);
    options |= curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    options |= curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WritePart);
    options |= curl_easy_setopt(curl, CURLOPT_WRITEDATA, part);
    options |= curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    options |= curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnPartsProgress);
    options |= curl_easy_setopt(curl, CURLOPT_XFERINFODATA, owner);
    options |= curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    options |= curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSec);
    options |= curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimitBytesPerSec);
    options |= curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSec);
    options |= curl_easy_setopt(curl, CURLOPT_RANGE, range);
    // WritePart checks the first buffer against the Content-Range collected here.
    options |= curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &KeepContentRange);
    options |= curl_easy_setopt(curl, CURLOPT_HEADERDATA, part);
    if (options != CURLE_OK) {
        return options;
    }

    std::int32_t result = curl_easy_perform(curl);
    if (result == CURLE_OK && part->nextOffset <= part->lastOffset) {
        // A body shorter than the range ends "successfully" but leaves a hole in the package.
        result = CURLE_PARTIAL_FILE;
    }
    if (result == CURLE_OK) {
        // The merge reads the file by its path: buffered bytes that never reach it are lost.
        if (std::fclose(part->file.release()) != 0) {
            result = CURLE_WRITE_ERROR;
        }
    }
    if (result != CURLE_OK) {
        Utils::Log({L"CMTCurlDownloader::downloadExe"}, L"error:%d:%s\r\n", result,
                   curlErrorText(result));
    } else {
        Utils::Log({L"CMTCurlDownloader::downloadExe"}, L"curl_easy_cleanup\r\n");
    }
    curl_easy_reset(curl);
    part->status = result;
    return result;
}

std::size_t CMTCurlDownloader::WritePart(char* data, std::size_t size, std::size_t count,
                                         void* node) {
    auto* part = static_cast<DownloadPartNode*>(node);
    if (part->owner->cancelled() || !part->file || part->nextOffset > part->lastOffset) {
        return 0;
    }
    if (!part->answerChecked) {
        if (!answerFitsRange(*part, part->owner->fileLength_)) {
            return 0;
        }
        part->answerChecked = true;
    }
    const auto delivered = static_cast<curl_off_t>(size * count);
    // A buffer running past the part's last byte is cut there; libcurl then ends the transfer
    // with a write error, since fewer bytes were taken than delivered.
    const curl_off_t wanted = std::min(delivered, part->lastOffset - part->nextOffset + 1);
    const std::size_t written =
        std::fwrite(data, 1, static_cast<std::size_t>(wanted), part->file.get());
    part->nextOffset += static_cast<curl_off_t>(written);
    part->downloaded += static_cast<std::int64_t>(written);
    return written;
}

std::size_t CMTCurlDownloader::KeepContentRange(char* data, std::size_t size, std::size_t count,
                                                void* node) {
    auto* part = static_cast<DownloadPartNode*>(node);
    const std::string_view line(data, size * count);
    if (line.starts_with(kStatusLinePrefix)) {
        // A new response (after a redirect): its headers replace those of the one before.
        part->contentRange.clear();
    } else if (line.size() >= kContentRangeName.size() &&
               strncasecmp(line.data(), kContentRangeName.data(), kContentRangeName.size()) == 0) {
        part->contentRange = trimmed(line.substr(kContentRangeName.size()));
    }
    return size * count;
}

void CMTCurlDownloader::downloadThreadFun(void* owner, DownloadPartNode* part) {
    auto* self = static_cast<CMTCurlDownloader*>(owner);
    int budget = kRetryBudget;
    std::int32_t result = downloadExe(owner, part);
    while (result != CURLE_OK && budget > 0 && !self->cancelled()) {
        budget -= result == CURLE_PARTIAL_FILE ? kPartialFileCost : kOtherFailureCost;
        Utils::Log({L"CMTCurlDownloader::downloadThreadFun"}, L"CurlDownLoader Code=%d\r\n",
                   result);
        if (self->sleepUnlessCancelled(kRetryPauseMs)) {
            break;
        }
        result = downloadExe(owner, part);
    }
    part->file.reset();
    {
        // Under runMutex_ so that the finish waiter cannot miss the wake-up.
        std::lock_guard lock(self->runMutex_);
        --self->runningParts_;
    }
    self->runChanged_.notify_all();
}

int CMTCurlDownloader::OnPartsProgress(void* owner, curl_off_t, curl_off_t, curl_off_t,
                                       curl_off_t) {
    auto* self = static_cast<CMTCurlDownloader*>(owner);
    if (self->cancelled()) {
        // The downloader is going away: end the transfer now rather than at its end.
        return 1;
    }
    std::lock_guard lock(self->lock_);
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (now <= self->lastProgressSecond_) {
        return 0;
    }
    self->lastProgressSecond_ = now;

    double percent = 0.0;
    if (self->fileLength_ >= kMinFileBytes) {
        for (const auto& node : self->parts_) {
            const std::int64_t downloaded = node->downloaded.load();
            if (downloaded > 0) {
                percent += static_cast<double>(downloaded) * kFullPercent /
                           static_cast<double>(self->fileLength_);
            }
        }
    }
    if (percent > kFullPercent || percent - self->lastPercent_ < kMinPercentStep) {
        return 0;
    }
    self->lastPercent_ = percent;
    self->reportLocked(DL_CODE_PROGRESS, percent / kFullPercent, L"");
    return 0;
}

// The starter: probe, parts, part threads and the finish waiter.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "download/curl_client.h"
#include "download/curl_handles.h"
#include "download/download_codes.h"
#include "download/mt_curl_downloader.h"
#include "platform/text_encoding.h"
#include "settings/installer_settings.h"
#include "utils/checksum.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

constexpr std::int64_t kBytesPerPart = 10485760;
constexpr std::int64_t kMaxParts = 2;
constexpr auto kPartStartGapMs = std::chrono::milliseconds(100);
constexpr long kFirstGoodStatus = 200;
constexpr long kLastGoodStatus = 399;

// Bytes already in a part file; 0 when there is none. stat is 64-bit here, so parts beyond
// 2 GiB resume at the right offset.
std::int64_t existingBytes(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(status.st_size);
}

}  // namespace

void CMTCurlDownloader::Start_Down(void* owner) {
    auto* self = static_cast<CMTCurlDownloader*>(owner);
    self->report(DL_CODE_START, 1.0, L"");
    Utils::Log({L"CMTCurlDownloader::Start_Down"}, L"start download\r\n");

    const std::string ansiSavePath = Utils::ToNarrow(self->savePath_, platform::kCodePageAnsi);
    const std::string url = narrowUrl(self->url_);

    std::remove(ansiSavePath.c_str());
    bool cleanStart = false;
    {
        std::lock_guard lock(self->lock_);
        cleanStart = self->lastPercent_ == 0.0;
    }
    if (cleanStart) {
        DeletePartFiles(ansiSavePath);
    }

    // A restart keeps what the first run's probe found.
    if (self->realUrl_.empty() || self->fileLength_ < kMinFileBytes) {
        if (!self->getRealDownloadUrl(url)) {
            self->report(DL_CODE_FAIL, 0.0, kMechanism);
            return;
        }
    }
    if (self->cancelled()) {
        return;
    }
    self->makeParts(ansiSavePath);
    self->startPartThreads();
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& url) {
    realUrl_.clear();
    expectedMd5_.clear();
    fileLength_ = 0;
    if (!g_settings.IsCurlReady) {
        return false;
    }
    const CurlEasyHandle handle(curl_easy_init());
    if (!handle) {
        return false;
    }
    CURL* curl = handle.get();
    const CurlHeaderList headers(curl_slist_append(nullptr, "Connection: keep-alive"));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    // Certificate and host checks stay at libcurl's defaults: the package is run with
    // administrator rights, so where it comes from must be verified.
    int options = curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    options |= curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    options |= curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    options |= curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &DiscardBody);
    options |= curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSec);
    // Lets the destructor end a probe that hangs instead of waiting for it.
    options |= curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    options |= curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &AbortWhenCancelled);
    options |= curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    if (options != CURLE_OK) {
        return false;
    }
    if (curl_easy_perform(curl) != CURLE_OK) {
        return false;
    }

    char* effectiveUrl = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effectiveUrl) == CURLE_OK &&
        effectiveUrl != nullptr && effectiveUrl[0] != '\0') {
        realUrl_ = effectiveUrl;
        Utils::Log({L"CMTCurlDownloader::getRealDownloadUrl"}, L"Download File real url %s\r\n",
                   Utils::ToWide(realUrl_, platform::kCodePageUtf8));
        expectedMd5_ = Utils::GetUrlMd5(realUrl_);
    }

    // The 64-bit length query, so packages of 2 GiB and more are measured right.
    curl_off_t length = -1;
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
        status >= kFirstGoodStatus && status <= kLastGoodStatus) {
        fileLength_ = static_cast<std::int64_t>(length);
        Utils::Log({L"CMTCurlDownloader::getRealDownloadUrl"}, L"Download File Length %lld\r\n",
                   fileLength_);
    }
    return !realUrl_.empty() && fileLength_ >= kMinFileBytes;
}

int CMTCurlDownloader::AbortWhenCancelled(void* owner, curl_off_t, curl_off_t, curl_off_t,
                                          curl_off_t) {
    return static_cast<CMTCurlDownloader*>(owner)->cancelled() ? 1 : 0;
}

void CMTCurlDownloader::makeParts(const std::string& ansiSavePath) {
    const std::int64_t count = std::clamp<std::int64_t>(fileLength_ / kBytesPerPart, 1, kMaxParts);
    const std::int64_t partBytes = fileLength_ / count;
    curl_off_t offset = 0;
    for (std::int64_t index = 0; index < count; ++index) {
        auto node = std::make_unique<DownloadPartNode>();
        node->owner = this;
        node->partPath = GetPartFilePath(ansiSavePath, static_cast<int>(index));
        const std::int64_t existing = existingBytes(node->partPath);
        node->downloaded = existing;
        node->nextOffset = offset + existing;
        // The last part also takes the remainder of the division.
        offset += index + 1 == count ? fileLength_ - partBytes * (count - 1) : partBytes;
        node->lastOffset = offset - 1;
        node->handle.reset(curl_easy_init());
        node->url = realUrl_;
        if (node->nextOffset > node->lastOffset) {
            node->status = kPartComplete;
        } else {
            node->file.reset(std::fopen(node->partPath.c_str(), "ab+"));
            node->status = node->file ? kPartToDownload : kPartFileFailed;
        }
        parts_.push_back(std::move(node));
    }
}

void CMTCurlDownloader::startPartThreads() {
    bool first = true;
    for (const auto& node : parts_) {
        if (node->status != kPartToDownload) {
            continue;
        }
        if (!first && sleepUnlessCancelled(kPartStartGapMs)) {
            break;
        }
        first = false;
        ++runningParts_;
        auto thread = std::make_unique<Utils::Thread>(node.get(), L"", [this](void* part) {
            downloadThreadFun(this, static_cast<DownloadPartNode*>(part));
        });
        if (!thread->Resume()) {
            // No thread: the part keeps status "to download" and fails the run.
            --runningParts_;
        }
        partThreads_.push_back(std::move(thread));
    }
    if (cancelled()) {
        return;
    }
    finishThread_ = std::make_unique<Utils::Thread>(this, L"", &waitForFinishThreadFun);
    finishThread_->Resume();
}

#include "download/curl_client.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <utility>

#include "platform/path.h"
#include "platform/text_encoding.h"
#include "usage/app_usage.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

constexpr long kConnectTimeoutSec = 60;
constexpr long kKeepAliveIdleSec = 10;
constexpr long kKeepAliveIntervalSec = 10;
constexpr std::int64_t kProgressIntervalSec = 1;
constexpr curl_off_t kBytesPerMiB = 1048576;
constexpr double kBytesPerKiB = 1024.0;
constexpr double kMinResumeBytes = 1e-10;
constexpr std::size_t kMaxTextChars = 200;
constexpr long kFirstGoodStatus = 200;
constexpr long kLastGoodStatus = 400;

constexpr wchar_t kFileUrlPrefix[] = L"file:///";
constexpr wchar_t kPartSuffix[] = L".part";

// The site is the caller's, so the line number names the statement that logs. Every function but
// CurlClient::GetRealUrl_Str ends the line.
void logResult(Utils::LogSite site, std::int32_t code, const wchar_t* lineEnd = L"\r\n") {
    Utils::Log(site, (std::wstring(L"error:%d:%s") + lineEnd).c_str(), code, curlErrorText(code));
}

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* stream) {
    return std::fwrite(data, 1, size * count, static_cast<std::FILE*>(stream));
}

// -1 when the file cannot be queried. stat is 64-bit here, so packages of 2 GiB and more resume
// at the right offset.
std::int64_t fileSize(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(status.st_size);
}

// -1.0 when the length is unknown.
double contentLength(CURL* handle, CURLcode& result) {
    curl_off_t length = -1;
    result = curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return result == CURLE_OK ? static_cast<double>(length) : -1.0;
}

CURLcode setProbeOptions(CURL* handle, const std::string& url, bool followRedirects) {
    int combined = curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    if (followRedirects) {
        combined |= curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    } else {
        combined |= curl_easy_setopt(handle, CURLOPT_HEADER, 1L);
    }
    combined |= curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    combined |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardBody);
    combined |= curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSec);
    return static_cast<CURLcode>(combined);
}

}  // namespace

std::wstring curlErrorText(std::int32_t code) {
    return Utils::ToWide(curl_easy_strerror(static_cast<CURLcode>(code)), platform::kCodePageUtf8);
}

std::string narrowUrl(const std::wstring& url) {
    const bool isFileUrl = url.starts_with(kFileUrlPrefix);
    return Utils::ToNarrow(url, isFileUrl ? platform::kCodePageAnsi : platform::kCodePageUtf8);
}

std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

std::string GetRealUrl(CURL* handle) {
    char* url = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) {
        return {};
    }
    return url;
}

CurlClient::CurlClient(std::wstring url, std::wstring savePath, void* owner, ProgressSink sink)
    : url_(std::move(url)), savePath_(std::move(savePath)), owner_(owner), progressSink_(sink) {}

CurlClient::~CurlClient() {
    std::remove(platform::nativePath(GetPartPath(true)).c_str());
    Cancel();
    url_.clear();
    savePath_.clear();
    errorText_.clear();
    realUrl_.clear();
}

std::wstring CurlClient::GetPartPath(bool withSuffix) const {
    return withSuffix ? savePath_ + kPartSuffix : savePath_;
}

void CurlClient::Cancel() {
    cancel_.store(true);
}

CurlEasyHandle CurlClient::Head(const std::string& url) {
    CurlEasyHandle handle(curl_easy_init());
    if (!handle) {
        return handle;
    }
    CURLcode result = setProbeOptions(handle.get(), url, true);
    if (result == CURLE_OK) {
        result = curl_easy_perform(handle.get());
        if (result != CURLE_OK) {
            logResult({L"CurlClient::Head"}, result);
        }
    }
    logResult({L"CurlClient::Head"}, result);
    return handle;
}

double CurlClient::GetDownloadFileLength(CURL* handle) {
    CURLcode result = CURLE_OK;
    const double length = contentLength(handle, result);
    logResult({L"CurlClient::GetDownloadFileLength"}, result);
    return length;
}

std::string CurlClient::GetRealUrl_Str(const std::string& url) {
    std::string realUrl;
    CurlEasyHandle handle(curl_easy_init());
    if (handle && setProbeOptions(handle.get(), url, true) == CURLE_OK) {
        const CURLcode result = curl_easy_perform(handle.get());
        if (result != CURLE_OK) {
            logResult({L"CurlClient::GetRealUrl_Str"}, result, L"");
        } else {
            realUrl = GetRealUrl(handle.get());
        }
    }
    return realUrl.empty() ? url : realUrl;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& url) {
    double length = -1.0;
    CurlEasyHandle handle(curl_easy_init());
    if (!handle || setProbeOptions(handle.get(), url, false) != CURLE_OK) {
        return length;
    }
    curl_easy_perform(handle.get());
    CURLcode result = CURLE_OK;
    length = contentLength(handle.get(), result);
    long status = 0;
    result = curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
    // 400 itself passes: only a status above it, or none at all, is worth a report.
    if (result != CURLE_OK || status < kFirstGoodStatus || status > kLastGoodStatus) {
        std::wstring reason = L"1.获取文件大小的状态码为=" +
                              std::to_wstring(static_cast<std::int32_t>(status)) + L"；";
        reason.resize(std::min(reason.size(), kMaxTextChars));
        AppUsageTrackTask(L"下载失败原因", reason, 0.0f, AppUsageExtras{{L"AB", L"IN"}});
    }
    logResult({L"CurlClient::GetDownloadFileLength_Str"}, result);
    return length;
}

std::int32_t CurlClient::Start() {
    Utils::Log({L"CurlClient::Start"}, L"start download\r\n");
    const std::string partPath = platform::nativePath(GetPartPath(true));
    const std::string savePath = platform::nativePath(GetPartPath(false));
    const std::string url = narrowUrl(url_);

    std::int32_t result = CURLE_OK;
    if (realUrl_.empty() || fileLength_ < kMinDownloadBytes) {
        if (const CurlEasyHandle probe = Head(url)) {
            realUrl_ = GetRealUrl(probe.get());
            fileLength_ = GetDownloadFileLength(probe.get());
        }
    }
    if (realUrl_.empty() || fileLength_ < kMinDownloadBytes) {
        realUrl_ = GetRealUrl_Str(url);
        if (!realUrl_.empty()) {
            fileLength_ = GetDownloadFileLength_Str(realUrl_);
        }
        if (fileLength_ < kMinDownloadBytes) {
            result = kCurlClientTooSmall;
        }
    }

    CurlEasyHandle transfer;
    FileHandle partFile;
    if (result == CURLE_OK) {
        transfer.reset(curl_easy_init());
        if (!transfer) {
            result = kCurlClientNoHandle;
        }
    }
    if (result == CURLE_OK) {
        partFile.reset(std::fopen(partPath.c_str(), "ab+"));
        if (!partFile) {
            errorText_ =
                Utils::ToWide(std::generic_category().message(errno), platform::kCodePageAnsi)
                    .substr(0, kMaxTextChars);
            result = kCurlClientPartFileFailed;
        }
    }
    if (result == CURLE_OK) {
        CURL* handle = transfer.get();
        transfer_ = handle;
        // No Accept-Encoding: the body is written as received, so an encoding we advertised but
        // never decode would corrupt the package.
        CurlHeaderList headers(curl_slist_append(nullptr, "Connection: keep-alive"));
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPIDLE, kKeepAliveIdleSec);
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPINTVL, kKeepAliveIntervalSec);
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, 0L);
        int combined = curl_easy_setopt(handle, CURLOPT_URL, realUrl_.c_str());
        combined |= curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        combined |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &writeToFile);
        combined |= curl_easy_setopt(handle, CURLOPT_WRITEDATA, partFile.get());
        combined |= curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        combined |= curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &ProgressCallback);
        combined |= curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
        combined |= curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
        combined |= curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSec);

        resumeOffset_ = fileSize(partPath);
        if (static_cast<double>(resumeOffset_) > kMinResumeBytes) {
            combined |= curl_easy_setopt(handle, CURLOPT_RESUME_FROM_LARGE,
                                         static_cast<curl_off_t>(resumeOffset_));
        }
        result = combined;
        if (result == CURLE_OK) {
            result = curl_easy_perform(handle);
        }
        transfer_ = nullptr;
    }

    logResult({L"CurlClient::Start"}, result);
    transfer.reset();
    partFile.reset();

    if (result == CURLE_RANGE_ERROR) {
        // The server ignored the range and would send the whole file again: libcurl refused to
        // append it to what we have, so start the part file over and let the next attempt
        // fetch everything.
        const FileHandle emptied(std::fopen(partPath.c_str(), "wb"));
    }
    if (result == CURLE_OK) {
        std::remove(savePath.c_str());
        // A success must mean the package is at its path; a failed rename is a failure of its own.
        if (std::rename(partPath.c_str(), savePath.c_str()) != 0) {
            result = kCurlClientRenameFailed;
            logResult({L"CurlClient::Start"}, result);
        }
    }
    Utils::Log({L"CurlClient::Start"}, L"end download\r\n");
    return result;
}

int CurlClient::ProgressCallback(void* clientData, curl_off_t total, curl_off_t now, curl_off_t,
                                 curl_off_t) {
    auto* client = static_cast<CurlClient*>(clientData);
    if (client->cancel_.load()) {
        return 1;
    }
    const std::int64_t second = static_cast<std::int64_t>(std::time(nullptr));
    if (second - client->lastProgressSecond_ < kProgressIntervalSec) {
        return 0;
    }
    client->lastProgressSecond_ = second;

    curl_off_t speedBytes = 0;
    const double speed =
        curl_easy_getinfo(client->transfer_, CURLINFO_SPEED_DOWNLOAD_T, &speedBytes) == CURLE_OK
            ? static_cast<double>(speedBytes)
            : 0.0;
    double percent = 0.0;
    if (client->fileLength_ > kMinDownloadBytes) {
        percent = static_cast<double>(now + client->resumeOffset_) / client->fileLength_ * 100.0;
    } else {
        if (now <= 0 || total <= 0) {
            return 0;
        }
        percent = static_cast<double>(now) * 100.0 / static_cast<double>(total);
    }
    if (percent == 0.0) {
        return 0;
    }
    if (client->progressSink_ != nullptr) {
        client->progressSink_(client->owner_, speed, 0.0, percent);
    }
    if (total != 0) {
        Utils::Log({L"CurlClient::ProgressCallback"}, L" %dM %dM   progress:%f%%  speed:%f \n",
                   static_cast<std::int32_t>(now / kBytesPerMiB),
                   static_cast<std::int32_t>(total / kBytesPerMiB),
                   static_cast<double>(static_cast<float>(percent)),
                   static_cast<double>(static_cast<float>(speed / kBytesPerKiB)));
    }
    return 0;
}

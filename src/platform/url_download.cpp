#include "platform/url_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>
#include <string_view>

#include "platform/path.h"

namespace platform {
namespace {

// The system download gives up on a silent peer after its own receive timeout instead of hanging;
// these are of the same order.
constexpr long kConnectTimeoutSec = 60;
constexpr long kLowSpeedTimeSec = 60;
constexpr long kLowSpeedBytesPerSec = 1;
constexpr long kMaxRedirects = 20;
constexpr int kTempNameAttempts = 16;

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

// The temporary file beside the target: removed on destruction unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string target) : target_(std::move(target)) {
        std::random_device random;
        for (int attempt = 0; attempt < kTempNameAttempts && fd_ < 0; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, ".%08x.tmp", random());
            name_ = target_ + suffix;
            // 0666 so that the umask decides the mode, as for any file the program creates.
            fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) {
                break;
            }
        }
        created_ = fd_ >= 0;
    }
    ~TempFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (created_ && !committed_) {
            ::unlink(name_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool opened() const { return fd_ >= 0; }

    bool write(const char* data, std::size_t length) {
        while (length > 0) {
            const ssize_t written = ::write(fd_, data, length);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            data += written;
            length -= static_cast<std::size_t>(written);
        }
        return true;
    }

    // Closes the file and moves it over the target.
    bool commit() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 || ::rename(name_.c_str(), target_.c_str()) != 0) {
            return false;
        }
        committed_ = true;
        return true;
    }

private:
    std::string target_;
    std::string name_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
};

struct Transfer {
    TempFile* file;
    const UrlDownloadProgress* progress;
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    // Anything but the full count makes libcurl stop with a write error.
    return transfer->file->write(data, size * count) ? size * count : 0;
}

int reportProgress(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (!*transfer->progress) {
        return 0;
    }
    const bool goOn =
        (*transfer->progress)(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
    return goOn ? 0 : 1;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

std::string percentEscape(std::string_view bytes, bool (*keep)(unsigned char)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (keep(c)) {
            out += byte;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high << 4 | low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The URL as libcurl takes it. A file: URL names a file of this system: its path (escapes decoded
// in the URL's code page) is turned into the native bytes of that file name and escaped again,
// because libcurl decodes the path once more and refuses blanks. Other URLs keep their escapes;
// only bytes libcurl would refuse (controls, blanks, bytes beyond ASCII) are escaped.
std::string curlUrl(const std::wstring& url, unsigned codePage) {
    const std::string bytes = encodeText(url, codePage);
    constexpr std::string_view kFileScheme = "file://";
    if (!startsWithNoCase(bytes, kFileScheme)) {
        return percentEscape(bytes, [](unsigned char c) { return c > 0x20 && c < 0x7F; });
    }
    std::string_view rest = std::string_view(bytes).substr(kFileScheme.size());
    constexpr std::string_view kLocalHost = "localhost";
    if (startsWithNoCase(rest, kLocalHost)) {
        rest.remove_prefix(kLocalHost.size());
    }
    const std::string native = nativePath(decodeText(percentDecode(rest), codePage));
    return std::string(kFileScheme) +
           percentEscape(native, [](unsigned char c) { return isUnreserved(c) || c == '/'; });
}

std::int32_t resultOf(CURLcode code) {
    switch (code) {
        case CURLE_OK:
            return kUrlDownloadOk;
        case CURLE_ABORTED_BY_CALLBACK:
            return kUrlDownloadAborted;
        case CURLE_WRITE_ERROR:
            return kUrlDownloadFileError;
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return kUrlDownloadInvalidUrl;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_FILE_COULDNT_READ_FILE:
            return kUrlDownloadNotFound;
        case CURLE_HTTP_RETURNED_ERROR:
            return kUrlDownloadHttpError;
        case CURLE_OPERATION_TIMEDOUT:
            return kUrlDownloadTimeout;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return kUrlDownloadTlsError;
        case CURLE_TOO_MANY_REDIRECTS:
            return kUrlDownloadRedirectFailed;
        default:
            return kUrlDownloadBroken;
    }
}

}  // namespace

std::int32_t downloadUrlToFile(const std::wstring& url, const std::wstring& path,
                               const UrlDownloadProgress& progress,
                               const UrlDownloadOptions& options) {
    if (path.empty()) {
        return kUrlDownloadInvalidPath;
    }
    TempFile file(nativePath(path));
    if (!file.opened()) {
        return kUrlDownloadFileError;
    }
    const CurlHandle curl(curl_easy_init());
    if (!curl) {
        return kUrlDownloadBroken;
    }
    const std::string target = curlUrl(url, options.urlCodePage);
    Transfer transfer{&file, &progress};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, target.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https,file");
    // A redirect may not turn a web download into a read of a local file.
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSec);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSec);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedTimeSec);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, reportProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

    const std::int32_t result = resultOf(curl_easy_perform(handle));
    if (result != kUrlDownloadOk) {
        return result;
    }
    return file.commit() ? kUrlDownloadOk : kUrlDownloadFileError;
}

}  // namespace platform

#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/text_encoding.h"

// The system's "URL to file" download: what the installer's fallback downloader is given by the
// system on Windows, built here on libcurl. One call fetches one URL into one file and answers
// with a status shaped like the Windows result codes, so that the caller reports the same numbers.
namespace platform {

// Results. 0 is success; failures are negative 32-bit numbers (severity bit set).
inline constexpr std::int32_t kUrlDownloadOk = 0;                                  // S_OK
inline constexpr std::int32_t kUrlDownloadAborted = std::int32_t(0x80004004);      // E_ABORT
inline constexpr std::int32_t kUrlDownloadFileError = std::int32_t(0x80004005);    // E_FAIL
inline constexpr std::int32_t kUrlDownloadInvalidPath = std::int32_t(0x80070057);  // E_INVALIDARG
inline constexpr std::int32_t kUrlDownloadInvalidUrl =
    std::int32_t(0x800C0002);  // INET_E_INVALID_URL
inline constexpr std::int32_t kUrlDownloadNotFound =
    std::int32_t(0x800C0005);  // INET_E_RESOURCE_NOT_FOUND
inline constexpr std::int32_t kUrlDownloadHttpError =
    std::int32_t(0x800C0007);  // INET_E_DATA_NOT_AVAILABLE
inline constexpr std::int32_t kUrlDownloadBroken =
    std::int32_t(0x800C0008);  // INET_E_DOWNLOAD_FAILURE
inline constexpr std::int32_t kUrlDownloadTimeout =
    std::int32_t(0x800C000B);  // INET_E_CONNECTION_TIMEOUT
inline constexpr std::int32_t kUrlDownloadTlsError =
    std::int32_t(0x800C000E);  // INET_E_SECURITY_PROBLEM
inline constexpr std::int32_t kUrlDownloadRedirectFailed =
    std::int32_t(0x800C0014);  // INET_E_REDIRECT_FAILED

// Called often while the transfer runs, also while no data arrives (about once a second then), so
// values may repeat. total 0: the length is not known (yet). Returning false aborts the download
// with kUrlDownloadAborted.
using UrlDownloadProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

struct UrlDownloadOptions {
    // How characters of the URL outside ASCII (and the bytes behind %XX escapes of a file: URL)
    // are read: a Windows code page, as the system download's bind information gives it.
    unsigned urlCodePage = kCodePageAnsi;
};

// Fetches `url` (http:, https: or file:) into the file at `path`.
//
// Redirects are followed (to http: and https: only); an HTTP error status fails the download; TLS
// certificates and host names are verified as libcurl does by default; no Accept-Encoding is sent,
// so the bytes written are the bytes of the file. The data goes to a temporary file beside `path`
// that replaces `path` only once everything arrived: on failure `path` is left as it was and the
// temporary file is removed. Blocks until done; runs on the caller's thread, so `progress` does.
std::int32_t downloadUrlToFile(const std::wstring& url, const std::wstring& path,
                               const UrlDownloadProgress& progress,
                               const UrlDownloadOptions& options = {});

}  // namespace platform

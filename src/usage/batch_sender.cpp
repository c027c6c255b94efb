#include "usage/batch_sender.h"

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "platform/debug_output.h"
#include "usage/send_status.h"

namespace usage_analytics {
namespace {

constexpr int kGzipWindowBits = 31;  // 15 bits of window, plus 16 for a gzip header and trailer
constexpr int kDeflateMemLevel = 8;
constexpr std::size_t kDeflateChunkBytes = 32768;
constexpr long kSendTimeoutSec = 3;  // keeps a flush on the caller's thread short
constexpr long kHttpOk = 200;
constexpr char kUserAgent[] = "UsageAnalytics CPP SDK 0.9";

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct Response {
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers;
};

std::optional<std::string> gzipCompress(std::string_view data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindowBits, kDeflateMemLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        std::cerr << "deflateInit2 failed while compressing.\n";
        return std::nullopt;
    }
    // zlib's input pointer is not const-qualified, but deflate only reads through it.
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    std::string compressed;
    std::array<char, kDeflateChunkBytes> chunk;
    int result = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_out = static_cast<uInt>(chunk.size());
        result = deflate(&stream, Z_FINISH);
        compressed.append(chunk.data(), chunk.size() - stream.avail_out);
    } while (result == Z_OK);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        std::cerr << "Exception during zlib compression: (" << result << ") "
                  << (stream.msg != nullptr ? stream.msg : "") << "\n";
        return std::nullopt;
    }
    return compressed;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* response) {
    static_cast<Response*>(response)->body.append(data, size * count);
    return size * count;
}

std::size_t collectHeader(char* data, std::size_t size, std::size_t count, void* response) {
    const std::string_view line(data, size * count);
    auto& headers = static_cast<Response*>(response)->headers;
    const auto colon = line.find(':');
    if (colon != std::string_view::npos) {
        headers[trimmed(line.substr(0, colon))] = trimmed(line.substr(colon + 1));
    } else if (std::string name = trimmed(line); !name.empty()) {
        headers[name] = "present";
    }
    return size * count;
}

// Posts the body; the transport error text when there was no HTTP answer.
std::optional<std::string> post(const std::string& url, const std::string& body,
                                Response& response) {
    const CurlHandle curl(curl_easy_init());
    if (!curl) {
        throw std::runtime_error("Couldn't initialize curl handle");
    }
    std::array<char, CURL_ERROR_SIZE> error{};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, kSendTimeoutSec);
    // Flushes run on worker threads; the resolver's alarm signal must not be used there.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    // Records carry the device's identity and the user's login id: they go only to a server that
    // proves it is the collector.
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error.data());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &response);
    const CURLcode result = curl_easy_perform(handle);
    if (result != CURLE_OK) {
        return error[0] != '\0' ? std::string(error.data()) : curl_easy_strerror(result);
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
    return std::nullopt;
}

}  // namespace

std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t available = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const auto byte = k < available ? static_cast<unsigned char>(bytes[i + k]) : 0U;
            group = group << 8 | byte;
        }
        for (std::size_t k = 0; k < 4; ++k) {
            encoded += k <= available ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return encoded;
}

std::string percentEncode(std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
            byte == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 0x0F];
        }
    }
    return encoded;
}

std::optional<std::string> encodeBatchBody(std::string_view jsonArray) {
    const std::optional<std::string> compressed = gzipCompress(jsonArray);
    if (!compressed) {
        return std::nullopt;
    }
    return "data_list=" + percentEncode(base64Encode(*compressed)) + "&gzip=1";
}

bool sendBatch(const std::string& serverUrl, std::string_view jsonArray) {
    const std::optional<std::string> body = encodeBatchBody(jsonArray);
    if (!body) {
        return false;
    }
    Response response;
    const std::optional<std::string> transportError = post(serverUrl, *body, response);
    const bool succeeded = !transportError && response.status == kHttpOk;
    if (!succeeded) {
        platform::outputDebugString(L"[usage] UsageAnalytics SDK send failed");
        std::cerr << "UsageAnalytics SDK send failed: " + transportError.value_or(response.body) +
                         "\n";
    }
    setLastSendSucceeded(succeeded);
    return succeeded;
}

}  // namespace usage_analytics

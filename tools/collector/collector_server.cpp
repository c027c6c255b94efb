#include "collector/collector_server.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

namespace collector {
namespace {

constexpr char kHost[] = "127.0.0.1";
constexpr int kGzipWindowBits = 31;  // 15 bits of window, plus 16: gzip wrapper only
constexpr std::size_t kInflateChunkBytes = 32768;
constexpr int kStatusOk = 200;
constexpr int kStatusBadRequest = 400;

std::optional<int> hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}

// Form decoding: "+" is a blank, "%XX" a byte; a broken escape fails the whole text.
std::optional<std::string> formDecode(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] != '%') {
            decoded += text[i];
        } else {
            const auto high = i + 2 < text.size() ? hexValue(text[i + 1]) : std::nullopt;
            const auto low = i + 2 < text.size() ? hexValue(text[i + 2]) : std::nullopt;
            if (!high || !low) {
                return std::nullopt;
            }
            decoded += static_cast<char>(*high << 4 | *low);
            i += 2;
        }
    }
    return decoded;
}

std::optional<int> base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return std::nullopt;
}

// Strict standard Base64: whole groups of four, "=" only as padding at the end.
std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const std::size_t padding = !last ? 0 : text[i + 3] != '=' ? 0 : text[i + 2] != '=' ? 1 : 2;
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const auto value = k < 4 - padding ? base64Value(text[i + k]) : 0;
            if (!value) {
                return std::nullopt;
            }
            group = group << 6 | static_cast<std::uint32_t>(*value);
        }
        for (std::size_t k = 0; k < 3 - padding; ++k) {
            bytes += static_cast<char>(group >> (16 - 8 * k) & 0xFF);
        }
    }
    return bytes;
}

// One complete gzip member and nothing after it.
std::optional<std::string> gunzip(std::string_view compressed) {
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) {
        return std::nullopt;
    }
    // zlib's input pointer is not const-qualified, but inflate only reads through it.
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::string text;
    std::array<char, kInflateChunkBytes> chunk;
    int result = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_out = static_cast<uInt>(chunk.size());
        result = inflate(&stream, Z_NO_FLUSH);
        text.append(chunk.data(), chunk.size() - stream.avail_out);
    } while (result == Z_OK);
    const bool complete = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return complete ? std::optional(text) : std::nullopt;
}

std::optional<int> number(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::string> decodeBatchBody(std::string_view body) {
    std::optional<std::string> data;
    bool gzipped = false;
    while (!body.empty()) {
        const std::string_view field = body.substr(0, body.find('&'));
        body.remove_prefix(std::min(body.size(), field.size() + 1));
        const auto equals = field.find('=');
        const std::string_view name = field.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
        if (name == "data_list") {
            data = formDecode(value);
            if (!data) {
                return std::nullopt;
            }
        } else if (name == "gzip") {
            gzipped = value == "1";
        }
    }
    if (!data || !gzipped) {
        return std::nullopt;
    }
    const std::optional<std::string> compressed = base64Decode(*data);
    return compressed ? gunzip(*compressed) : std::nullopt;
}

CollectorServer::CollectorServer(CollectorOptions options) : options_(std::move(options)) {
    server_.Get("/health", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("ok", "text/plain");
    });
    server_.Post("/sa", [this](const httplib::Request& request, httplib::Response& response) {
        handleBatch(request, response);
    });
    server_.Post("/control/fail",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     handleFailControl(request, response);
                 });
}

CollectorServer::~CollectorServer() {
    stop();
}

bool CollectorServer::start(int port) {
    port_ = port == 0 ? server_.bind_to_any_port(kHost)
                      : (server_.bind_to_port(kHost, port) ? port : -1);
    if (port_ <= 0) {
        return false;
    }
    listener_ = std::thread([this] { server_.listen_after_bind(); });
    // The server can only be stopped once its accept loop runs; an answered request proves it
    // does (connections made before that wait in the listen backlog).
    httplib::Client client(kHost, port_);
    const httplib::Result reply = client.Get("/health");
    if (!reply || reply->status != kStatusOk) {
        stop();
        return false;
    }
    return true;
}

void CollectorServer::stop() {
    if (listener_.joinable()) {
        server_.stop();
        listener_.join();
    }
}

std::string CollectorServer::url() const {
    return "http://" + std::string(kHost) + ":" + std::to_string(port_) + "/sa?project=pc";
}

void CollectorServer::failNext(int count, int status) {
    const std::lock_guard lock(mutex_);
    failCount_ = count;
    failStatus_ = status;
}

void CollectorServer::onPost(std::function<void()> hook) {
    const std::lock_guard lock(mutex_);
    postHook_ = std::move(hook);
}

std::vector<std::string> CollectorServer::records() const {
    const std::lock_guard lock(mutex_);
    return records_;
}

std::vector<ReceivedPost> CollectorServer::posts() const {
    const std::lock_guard lock(mutex_);
    return posts_;
}

void CollectorServer::handleBatch(const httplib::Request& request, httplib::Response& response) {
    std::function<void()> hook;
    {
        const std::lock_guard lock(mutex_);
        hook = postHook_;
    }
    if (hook) {
        hook();
    }

    ReceivedPost post{request.get_header_value("User-Agent"), request.body, 0, kStatusBadRequest};
    std::vector<std::string> lines;
    const std::optional<std::string> array = decodeBatchBody(request.body);
    const nlohmann::ordered_json batch =
        nlohmann::ordered_json::parse(array.value_or(""), nullptr, false);
    const bool wellFormed =
        request.get_param_value("project") == "pc" && batch.is_array() &&
        std::all_of(batch.begin(), batch.end(), [](const auto& r) { return r.is_object(); });
    if (wellFormed) {
        post.records = batch.size();
        for (const nlohmann::ordered_json& record : batch) {
            lines.push_back(
                record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
        }
    }

    const std::lock_guard lock(mutex_);
    if (wellFormed && failCount_ > 0) {
        --failCount_;
        post.status = failStatus_;
    } else if (wellFormed) {
        post.status = kStatusOk;
        if (!options_.outPath.empty()) {
            std::ofstream out(options_.outPath, std::ios::binary | std::ios::app);
            for (const std::string& line : lines) {
                out << line << '\n';
            }
        }
        for (std::string& line : lines) {
            if (options_.printRecords) {
                std::cout << line << std::endl;
            }
            records_.push_back(std::move(line));
        }
    }
    posts_.push_back(post);
    response.status = post.status;
    response.set_content(post.status == kStatusOk ? "ok" : "rejected", "text/plain");
}

void CollectorServer::handleFailControl(const httplib::Request& request,
                                        httplib::Response& response) {
    const std::optional<int> count = number(request.get_param_value("count"));
    const std::optional<int> status = number(request.get_param_value("status"));
    if (!count || !status) {
        response.status = kStatusBadRequest;
        response.set_content("count and status must be numbers", "text/plain");
        return;
    }
    failNext(*count, *status);
    response.set_content("ok", "text/plain");
}

}  // namespace collector

#include "demo_server/package_server.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

namespace demo_server {

struct PackageServer::File {
    std::int64_t size = 0;
    // Fills `length` bytes from `offset`, which the caller keeps inside the file; false on a read
    // error.
    std::function<bool(std::int64_t offset, char* buffer, std::size_t length)> read;
};

namespace {

constexpr char kHost[] = "127.0.0.1";
constexpr char kSoftwarePath[] = "/software/327";
constexpr char kStartPage[] = R"(<!DOCTYPE html>
<html lang="zh-CN">
<head><meta charset="utf-8"><title>Brivano 照片编辑器</title></head>
<body>
<h1>Brivano 照片编辑器已安装</h1>
<p>The Brivano photo editor is installed. This page stands in for the maker's start page.</p>
</body>
</html>
)";
constexpr char kContentType[] = "application/octet-stream";
constexpr std::size_t kChunkBytes = 64 * 1024;
// Short, so that stop() does not wait long for an idle kept-alive connection of a client that is
// still open.
constexpr time_t kKeepAliveTimeoutSec = 1;
constexpr int kStatusOk = 200;
constexpr int kStatusFound = 302;
constexpr int kStatusPartialContent = 206;
constexpr int kStatusNotFound = 404;
constexpr int kStatusRangeNotSatisfiable = 416;

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

void fillGenerated(std::uint32_t seed, std::int64_t offset, char* out, std::size_t length) {
    const std::uint64_t base = static_cast<std::uint64_t>(seed) << 40;
    std::uint64_t word = static_cast<std::uint64_t>(offset) / 8;
    std::size_t skip = static_cast<std::size_t>(offset % 8);
    std::size_t done = 0;
    while (done < length) {
        const std::uint64_t value = splitmix64(base ^ word);
        for (std::size_t i = skip; i < 8 && done < length; ++i) {
            out[done++] = static_cast<char>(value >> (8 * i) & 0xFF);
        }
        skip = 0;
        ++word;
    }
}

struct DigestDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

class Md5 {
public:
    Md5() : context_(EVP_MD_CTX_new()) { EVP_DigestInit_ex(context_.get(), EVP_md5(), nullptr); }
    void update(const char* data, std::size_t length) {
        EVP_DigestUpdate(context_.get(), data, length);
    }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context_.get(), digest, &length);
        std::string text;
        char pair[3];
        for (unsigned int i = 0; i < length; ++i) {
            std::snprintf(pair, sizeof pair, "%02x", digest[i]);
            text += pair;
        }
        return text;
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestDeleter> context_;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::optional<std::int64_t> parseNumber(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// A single "bytes=first-last", "bytes=first-" or "bytes=-suffix" range as asked; last -1: to the
// end. Anything else (several ranges, other units, bad syntax) is not a range we honour, and a
// server ignores a Range header it does not understand.
struct AskedRange {
    std::int64_t first = 0;
    std::int64_t last = -1;
    bool suffix = false;
};

std::optional<AskedRange> parseRange(const std::string& header) {
    constexpr std::string_view kUnit = "bytes=";
    if (header.compare(0, kUnit.size(), kUnit) != 0) {
        return std::nullopt;
    }
    const std::string_view spec = std::string_view(header).substr(kUnit.size());
    const auto dash = spec.find('-');
    if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view firstText = spec.substr(0, dash);
    const std::string_view lastText = spec.substr(dash + 1);
    AskedRange range;
    if (firstText.empty()) {
        const auto suffix = parseNumber(lastText);
        if (!suffix) {
            return std::nullopt;
        }
        range.suffix = true;
        range.first = *suffix;
        return range;
    }
    const auto first = parseNumber(firstText);
    const auto last = lastText.empty() ? std::optional<std::int64_t>(-1) : parseNumber(lastText);
    if (!first || !last || (*last >= 0 && *last < *first)) {
        return std::nullopt;
    }
    range.first = *first;
    range.last = *last;
    return range;
}

bool cueMatches(const Cue& cue, const std::string& path, int index) {
    if (!cue.path.empty() && cue.path != path) {
        return false;
    }
    return index >= cue.firstRequest && (cue.times < 0 || index < cue.firstRequest + cue.times);
}

}  // namespace

std::string generatedBytes(std::uint32_t seed, std::int64_t offset, std::size_t length) {
    std::string bytes(length, '\0');
    fillGenerated(seed, offset, bytes.data(), length);
    return bytes;
}

std::string md5Hex(const std::string& bytes) {
    Md5 md5;
    md5.update(bytes.data(), bytes.size());
    return md5.hex();
}

PackageServer::PackageServer() {
    server_.set_keep_alive_timeout(kKeepAliveTimeoutSec);
    server_.Get(kSoftwarePath,
                [this](const httplib::Request& request, httplib::Response& response) {
                    handleSoftware(request, response);
                });
    server_.Get(kStartPagePath,
                [this](const httplib::Request& request, httplib::Response& response) {
                    handleStartPage(request, response);
                });
    server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        handleFile(request, response);
    });
}

PackageServer::~PackageServer() {
    stop();
}

bool PackageServer::start(int port) {
    {
        const std::lock_guard lock(mutex_);
        stopRequested_ = false;
    }
    port_ = port == 0 ? server_.bind_to_any_port(kHost)
                      : (server_.bind_to_port(kHost, port) ? port : -1);
    if (port_ <= 0) {
        return false;
    }
    listener_ = std::thread([this] { server_.listen_after_bind(); });
    // The server can only be stopped once its accept loop runs; an answered request proves it
    // does (connections made before that wait in the listen backlog). The probe stays out of the
    // request log.
    httplib::Client client(kHost, port_);
    const httplib::Result reply = client.Head(kSoftwarePath);
    if (!reply) {
        stop();
        return false;
    }
    const std::lock_guard lock(mutex_);
    requests_.clear();
    return true;
}

void PackageServer::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    stopping_.notify_all();
    if (listener_.joinable()) {
        server_.stop();
        listener_.join();
    }
}

std::string PackageServer::url(const std::string& path) const {
    return "http://" + std::string(kHost) + ":" + std::to_string(port_) + path;
}

std::string PackageServer::addFile(const std::string& name, std::string content,
                                   std::optional<std::string> directory) {
    const std::string md5 = md5Hex(content);
    auto bytes = std::make_shared<const std::string>(std::move(content));
    auto file = std::make_shared<File>();
    file->size = static_cast<std::int64_t>(bytes->size());
    file->read = [bytes](std::int64_t offset, char* buffer, std::size_t length) {
        std::copy_n(bytes->data() + offset, length, buffer);
        return true;
    };
    return addEntry(name, std::move(file), md5, directory);
}

std::string PackageServer::addGeneratedFile(const std::string& name, std::int64_t size,
                                            std::uint32_t seed,
                                            std::optional<std::string> directory) {
    Md5 md5;
    std::string chunk(kChunkBytes, '\0');
    for (std::int64_t offset = 0; offset < size; offset += kChunkBytes) {
        const auto length =
            static_cast<std::size_t>(std::min<std::int64_t>(kChunkBytes, size - offset));
        fillGenerated(seed, offset, chunk.data(), length);
        md5.update(chunk.data(), length);
    }
    auto file = std::make_shared<File>();
    file->size = size;
    file->read = [seed](std::int64_t offset, char* buffer, std::size_t length) {
        fillGenerated(seed, offset, buffer, length);
        return true;
    };
    return addEntry(name, std::move(file), md5.hex(), directory);
}

std::string PackageServer::addDiskFile(const std::string& name, const std::string& filePath,
                                       std::optional<std::string> directory) {
    auto fd = std::make_shared<FileDescriptor>(::open(filePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (fd->get() < 0 || ::fstat(fd->get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return {};
    }
    Md5 md5;
    std::string chunk(kChunkBytes, '\0');
    for (std::int64_t offset = 0; offset < status.st_size;) {
        const ssize_t got = ::pread(fd->get(), chunk.data(), chunk.size(), offset);
        if (got <= 0) {
            return {};
        }
        md5.update(chunk.data(), static_cast<std::size_t>(got));
        offset += got;
    }
    auto file = std::make_shared<File>();
    file->size = status.st_size;
    // pread keeps no file position, so every response reads the one descriptor independently.
    file->read = [fd](std::int64_t offset, char* buffer, std::size_t length) {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t got = ::pread(fd->get(), buffer + done, length - done,
                                        offset + static_cast<std::int64_t>(done));
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    };
    return addEntry(name, std::move(file), md5.hex(), directory);
}

std::string PackageServer::addEntry(const std::string& name, std::shared_ptr<const File> file,
                                    const std::string& md5,
                                    const std::optional<std::string>& directory) {
    const std::string path = "/" + directory.value_or(md5) + "/" + name;
    const std::lock_guard lock(mutex_);
    files_[path] = std::move(file);
    return path;
}

void PackageServer::setPackage(const std::string& path) {
    const std::lock_guard lock(mutex_);
    package_ = path;
}

void PackageServer::setCues(std::vector<Cue> cues) {
    const std::lock_guard lock(mutex_);
    cues_ = std::move(cues);
    getCounts_.clear();
}

std::vector<Request> PackageServer::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<Request> PackageServer::requests(const std::string& method) const {
    std::vector<Request> matching;
    for (Request& request : requests()) {
        if (request.method == method) {
            matching.push_back(std::move(request));
        }
    }
    return matching;
}

void PackageServer::log(const httplib::Request& request, int status) {
    const std::lock_guard lock(mutex_);
    requests_.push_back(
        {request.method, request.target, request.get_header_value("Range"), status});
}

bool PackageServer::pause(int ms) {
    std::unique_lock lock(mutex_);
    return !stopping_.wait_for(lock, std::chrono::milliseconds(ms),
                               [this] { return stopRequested_; });
}

void PackageServer::handleSoftware(const httplib::Request& request, httplib::Response& response) {
    std::string package;
    {
        const std::lock_guard lock(mutex_);
        package = package_;
    }
    if (package.empty()) {
        response.status = kStatusNotFound;
    } else {
        response.set_redirect(package, kStatusFound);
    }
    log(request, response.status);
}

void PackageServer::handleStartPage(const httplib::Request& request, httplib::Response& response) {
    response.set_content(kStartPage, "text/html; charset=utf-8");
    log(request, response.status);
}

void PackageServer::handleFile(const httplib::Request& request, httplib::Response& response) {
    std::shared_ptr<const File> file;
    std::optional<Cue> cue;
    {
        const std::lock_guard lock(mutex_);
        const auto found = files_.find(request.path);
        if (found != files_.end()) {
            file = found->second;
        }
        if (file && request.method == "GET") {
            const int index = getCounts_[request.path]++;
            const auto match = std::find_if(cues_.begin(), cues_.end(), [&](const Cue& c) {
                return cueMatches(c, request.path, index);
            });
            if (match != cues_.end()) {
                cue = *match;
            }
        }
    }
    if (!file) {
        response.status = kStatusNotFound;
        log(request, response.status);
        return;
    }
    if (cue && cue->action == Cue::Action::Status) {
        response.status = cue->status;
        log(request, response.status);
        return;
    }

    // The library would apply the Range header by itself, without clamping an end past the file,
    // without answering 416 (it calls the provider past the end) and with no way to send the whole
    // body despite a range. The ranges are ours: the parsed copy is dropped so it leaves the answer
    // alone. The request object is the library's own, not a const one.
    const_cast<httplib::Request&>(request).ranges.clear();

    std::int64_t first = 0;
    std::int64_t length = file->size;
    const std::optional<AskedRange> asked = cue && cue->action == Cue::Action::IgnoreRange
                                                ? std::nullopt
                                                : parseRange(request.get_header_value("Range"));
    if (asked) {
        if (asked->suffix) {
            first = std::max<std::int64_t>(0, file->size - asked->first);
        } else {
            first = asked->first;
        }
        if (asked->suffix ? asked->first == 0 : first >= file->size) {
            response.status = kStatusRangeNotSatisfiable;
            response.set_header("Content-Range", "bytes */" + std::to_string(file->size));
            log(request, response.status);
            return;
        }
        const std::int64_t last = asked->suffix || asked->last < 0
                                      ? file->size - 1
                                      : std::min(asked->last, file->size - 1);
        length = last - first + 1;
        response.status = kStatusPartialContent;
        response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                 std::to_string(last) + "/" +
                                                 std::to_string(file->size));
    } else {
        response.status = kStatusOk;
    }
    response.set_header("Accept-Ranges", "bytes");
    log(request, response.status);

    const Cue::Action action = cue ? cue->action : Cue::Action::IgnoreRange;
    const bool cut = cue && (action == Cue::Action::DropAfter || action == Cue::Action::Stall);
    const std::int64_t cutAfter = cut ? cue->bytes : length;
    const int stallMs = cue ? cue->stallMs : 0;
    const bool invert = cue && action == Cue::Action::WrongBytes;
    auto buffer = std::make_shared<std::string>(kChunkBytes, '\0');
    response.set_content_provider(
        static_cast<std::size_t>(length), kContentType,
        [this, file, first, length, cutAfter, action, stallMs, invert, buffer](
            std::size_t offset, std::size_t, httplib::DataSink& sink) {
            const auto sent = static_cast<std::int64_t>(offset);
            if (sent >= cutAfter) {
                // The client has what it gets; a stall holds the connection silent first, and
                // ends early when the server stops, so that no test waits on it at teardown.
                if (action == Cue::Action::Stall) {
                    pause(stallMs);
                }
                return false;
            }
            const std::int64_t end = std::min({length, cutAfter, sent + std::int64_t{kChunkBytes}});
            const auto count = static_cast<std::size_t>(end - sent);
            if (sent >= length || !file->read(first + sent, buffer->data(), count)) {
                return false;
            }
            if (invert) {
                std::for_each(buffer->begin(), buffer->begin() + static_cast<std::ptrdiff_t>(count),
                              [](char& c) { c = static_cast<char>(~c); });
            }
            return sink.write(buffer->data(), count);
        });
}

}  // namespace demo_server

#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A package download server on loopback: it serves files at "/<md5>/<name>", redirects the
// software link to the package, answers HEAD and byte ranges, and misbehaves on cue, so the
// downloaders can be driven through every failure a real mirror shows.
namespace demo_server {

// The product's start page, opened by the installer once the product is installed (the demo
// package names it in its "StartUrl=" line): a small UTF-8 HTML page, served at this path.
inline constexpr char kStartPagePath[] = "/converter";

// The bytes of a generated file: a cheap function of (seed, offset), so any range of a file of any
// length can be produced, served and checked without storing the file.
std::string generatedBytes(std::uint32_t seed, std::int64_t offset, std::size_t length);

// Lower-case hex MD5 of `bytes`.
std::string md5Hex(const std::string& bytes);

// One misbehaviour, applied to GET requests for `path` (empty: any file) whose 0-based index among
// the GET requests for that path lies in [firstRequest, firstRequest + times); times -1: all.
// The first matching cue of the table wins.
struct Cue {
    enum class Action {
        DropAfter,  // close the connection after `bytes` body bytes
        Stall,      // after `bytes` body bytes send nothing for stallMs, then close the connection
        Status,     // answer `status` without a body
        IgnoreRange,  // answer 200 with the whole body even when a range was asked for
        WrongBytes,   // serve bytes that differ from the file (every byte inverted)
    };
    Action action = Action::DropAfter;
    std::string path;
    int firstRequest = 0;
    int times = 1;
    std::int64_t bytes = 0;
    int status = 0;
    int stallMs = 0;

    // For tables without naming every field (g++ 12 warns about designated initializers that
    // leave fields out): dropAfter(1000).on(path).requests(0, 2).
    Cue on(std::string filePath) const {
        Cue cue = *this;
        cue.path = std::move(filePath);
        return cue;
    }
    Cue requests(int first, int count) const {
        Cue cue = *this;
        cue.firstRequest = first;
        cue.times = count;
        return cue;
    }
};

inline Cue dropAfter(std::int64_t bytes) {
    Cue cue;
    cue.action = Cue::Action::DropAfter;
    cue.bytes = bytes;
    return cue;
}
inline Cue stallAfter(std::int64_t bytes, int stallMs) {
    Cue cue;
    cue.action = Cue::Action::Stall;
    cue.bytes = bytes;
    cue.stallMs = stallMs;
    return cue;
}
inline Cue answerStatus(int status) {
    Cue cue;
    cue.action = Cue::Action::Status;
    cue.status = status;
    return cue;
}
inline Cue ignoreRange() {
    Cue cue;
    cue.action = Cue::Action::IgnoreRange;
    return cue;
}
inline Cue wrongBytes() {
    Cue cue;
    cue.action = Cue::Action::WrongBytes;
    return cue;
}

// One request as it was answered.
struct Request {
    std::string method;
    std::string path;   // as sent, before percent-decoding
    std::string range;  // the Range header, empty when there was none
    int status = 0;
};

class PackageServer {
public:
    PackageServer();
    ~PackageServer();
    PackageServer(const PackageServer&) = delete;
    PackageServer& operator=(const PackageServer&) = delete;

    // Listens on 127.0.0.1 (port 0: any free one) and serves on threads of its own; returns once
    // requests are answered, false when the port could not be bound.
    bool start(int port = 0);
    // Ends stalls at once, then waits for the serving threads.
    void stop();

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" + path
    std::string url(const std::string& path) const;

    // Serves `content` at "/<directory>/<name>", the directory defaulting to the content's MD5;
    // returns that path.
    std::string addFile(const std::string& name, std::string content,
                        std::optional<std::string> directory = {});
    // A file of `size` bytes of generatedBytes(seed, ...), produced as it is sent.
    std::string addGeneratedFile(const std::string& name, std::int64_t size, std::uint32_t seed,
                                 std::optional<std::string> directory = {});
    // A file on disk, streamed from it on every request (read once here for its MD5); empty when
    // the file cannot be opened.
    std::string addDiskFile(const std::string& name, const std::string& filePath,
                            std::optional<std::string> directory = {});

    // "/software/327" answers 302 to `path`.
    void setPackage(const std::string& path);
    // Replaces the cue table and restarts the per-path request counts it is matched against.
    void setCues(std::vector<Cue> cues);

    std::vector<Request> requests() const;
    // The requests with `method` ("GET", "HEAD"), in arrival order.
    std::vector<Request> requests(const std::string& method) const;

    // Served files, shared with the responses that are still sending them.
    struct File;

private:
    void handleFile(const httplib::Request& request, httplib::Response& response);
    void handleSoftware(const httplib::Request& request, httplib::Response& response);
    void handleStartPage(const httplib::Request& request, httplib::Response& response);
    std::string addEntry(const std::string& name, std::shared_ptr<const File> file,
                         const std::string& md5, const std::optional<std::string>& directory);
    void log(const httplib::Request& request, int status);
    // Waits up to `ms` milliseconds; returns early (false) once the server is stopping.
    bool pause(int ms);

    httplib::Server server_;
    std::thread listener_;
    int port_ = 0;

    mutable std::mutex mutex_;  // everything below: the serving threads read, any thread writes
    std::condition_variable stopping_;
    bool stopRequested_ = false;
    std::map<std::string, std::shared_ptr<const File>> files_;
    std::string package_;
    std::vector<Cue> cues_;
    std::map<std::string, int> getCounts_;
    std::vector<Request> requests_;
};

}  // namespace demo_server

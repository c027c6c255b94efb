#pragma once

#include <httplib.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A stand-in for the analytics collection server on loopback: it decodes what the analytics
// transport posts, keeps every record, and can be told to fail, so tests and the demo see exactly
// what would have left the machine.
namespace collector {

// One POST to /sa as it arrived.
struct ReceivedPost {
    std::string userAgent;
    std::string body;
    std::size_t records = 0;  // records in the decoded array, stored or not
    int status = 0;           // what the collector answered
};

struct CollectorOptions {
    std::string outPath;        // every stored record is appended here as a line; empty: nowhere
    bool printRecords = false;  // every stored record also goes to standard output as a line
};

// The JSON array text inside a form body "data_list=<percent-encoded Base64 of gzip>&gzip=1";
// nullopt when any layer is broken.
std::optional<std::string> decodeBatchBody(std::string_view body);

class CollectorServer {
public:
    explicit CollectorServer(CollectorOptions options = {});
    ~CollectorServer();
    CollectorServer(const CollectorServer&) = delete;
    CollectorServer& operator=(const CollectorServer&) = delete;

    // Listens on 127.0.0.1 (port 0: any free one) and serves on threads of its own; returns once
    // requests are answered, false when the port could not be bound.
    bool start(int port = 0);
    void stop();

    int port() const { return port_; }
    // Where the analytics transport posts to: http://127.0.0.1:<port>/sa?project=pc
    std::string url() const;

    // The next `count` well-formed posts are answered with `status` and their records dropped.
    void failNext(int count, int status);
    // Runs on the serving thread for every post to /sa before it is answered, so a test can act
    // while a batch is in flight.
    void onPost(std::function<void()> hook);

    std::vector<std::string> records() const;
    std::vector<ReceivedPost> posts() const;

private:
    void handleBatch(const httplib::Request& request, httplib::Response& response);
    void handleFailControl(const httplib::Request& request, httplib::Response& response);

    const CollectorOptions options_;
    httplib::Server server_;
    std::thread listener_;
    int port_ = 0;

    mutable std::mutex mutex_;  // everything below: the serving threads write, any thread reads
    std::vector<std::string> records_;
    std::vector<ReceivedPost> posts_;
    int failCount_ = 0;
    int failStatus_ = 500;
    std::function<void()> postHook_;
};

}  // namespace collector

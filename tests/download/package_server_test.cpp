#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "demo_server/package_server.h"

namespace {

using demo_server::PackageServer;

constexpr std::int64_t kFileBytes = 300000;
constexpr std::uint32_t kSeed = 7;

class PackageServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.start());
        path_ = server_.addGeneratedFile("package.exe", kFileBytes, kSeed);
        bytes_ = demo_server::generatedBytes(kSeed, 0, kFileBytes);
    }

    httplib::Result get(const std::string& range = {}) {
        httplib::Client client("127.0.0.1", server_.port());
        client.set_read_timeout(std::chrono::seconds(20));
        httplib::Headers headers;
        if (!range.empty()) {
            headers.emplace("Range", range);
        }
        return client.Get(path_.c_str(), headers);
    }

    PackageServer server_;
    std::string path_;
    std::string bytes_;
};

TEST_F(PackageServerTest, PathIsMd5DirectoryAndGeneratorIsDeterministicByOffset) {
    EXPECT_EQ(path_, "/" + demo_server::md5Hex(bytes_) + "/package.exe");
    EXPECT_EQ(demo_server::generatedBytes(kSeed, 12345, 100), bytes_.substr(12345, 100));
    EXPECT_NE(demo_server::generatedBytes(kSeed + 1, 0, 100), bytes_.substr(0, 100));
    EXPECT_EQ(server_.addFile("a.txt", "abc"), "/900150983cd24fb0d6963f7d28e17f72/a.txt");
    EXPECT_EQ(server_.addFile("a.txt", "abc", "dir"), "/dir/a.txt");
}

TEST_F(PackageServerTest, SoftwareLinkRedirectsAndHeadGivesLength) {
    server_.setPackage(path_);
    httplib::Client client("127.0.0.1", server_.port());
    for (const char* method : {"GET", "HEAD"}) {
        SCOPED_TRACE(method);
        const httplib::Result reply = std::string(method) == "GET" ? client.Get("/software/327")
                                                                   : client.Head("/software/327");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 302);
        EXPECT_EQ(reply->get_header_value("Location"), path_);
    }
    const httplib::Result head = client.Head(path_.c_str());
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(kFileBytes));
    EXPECT_TRUE(head->body.empty());

    const std::vector<demo_server::Request> log = server_.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/software/327");
    EXPECT_EQ(log[0].status, 302);
    EXPECT_EQ(log[2].method, "HEAD");
    EXPECT_EQ(log[2].path, path_);
}

TEST_F(PackageServerTest, AnswersRangesByTable) {
    struct Row {
        const char* name;
        std::string range;
        int status;
        std::string contentRange;
        std::int64_t first;
        std::int64_t length;
    };
    const std::string total = "/" + std::to_string(kFileBytes);
    const std::vector<Row> rows = {
        {"no range", "", 200, "", 0, kFileBytes},
        {"closed", "bytes=10-19", 206, "bytes 10-19" + total, 10, 10},
        {"open end", "bytes=299990-", 206, "bytes 299990-299999" + total, 299990, 10},
        {"whole as range", "bytes=0-", 206, "bytes 0-299999" + total, 0, kFileBytes},
        {"end clamped", "bytes=299995-400000", 206, "bytes 299995-299999" + total, 299995, 5},
        {"suffix", "bytes=-4", 206, "bytes 299996-299999" + total, 299996, 4},
        {"start at length", "bytes=300000-", 416, "bytes */300000", 0, 0},
        {"past the end", "bytes=500000-600000", 416, "bytes */300000", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const httplib::Result reply = get(row.range);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, row.status);
        EXPECT_EQ(reply->get_header_value("Content-Range"), row.contentRange);
        EXPECT_TRUE(reply->body == bytes_.substr(static_cast<std::size_t>(row.first),
                                                 static_cast<std::size_t>(row.length)));
    }
}

TEST_F(PackageServerTest, CuesMisbehaveOnlyOnTheirRequests) {
    server_.setCues({
        demo_server::answerStatus(503).on(path_).requests(1, 2),
        demo_server::ignoreRange().on(path_).requests(3, 1),
        demo_server::wrongBytes().on(path_).requests(4, 1),
        demo_server::dropAfter(1000).on(path_).requests(5, 1),
    });
    const httplib::Result plain = get("bytes=100-199");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->status, 206);
    for (int i = 0; i < 2; ++i) {
        const httplib::Result failed = get();
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->status, 503);
        EXPECT_TRUE(failed->body.empty());
    }
    const httplib::Result ignored = get("bytes=100-199");
    ASSERT_TRUE(ignored);
    EXPECT_EQ(ignored->status, 200);
    EXPECT_FALSE(ignored->has_header("Content-Range"));
    EXPECT_TRUE(ignored->body == bytes_);

    const httplib::Result wrong = get();
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 200);
    ASSERT_EQ(wrong->body.size(), bytes_.size());
    EXPECT_NE(demo_server::md5Hex(wrong->body), demo_server::md5Hex(bytes_));
    EXPECT_NE(wrong->body[0], bytes_[0]);

    std::string received;
    httplib::Client client("127.0.0.1", server_.port());
    const httplib::Result dropped = client.Get(path_.c_str(), [&](const char* data, size_t length) {
        received.append(data, length);
        return true;
    });
    EXPECT_FALSE(dropped);
    EXPECT_TRUE(received == bytes_.substr(0, 1000));

    const httplib::Result after = get();
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->body == bytes_);

    std::vector<int> statuses;
    for (const demo_server::Request& request : server_.requests()) {
        statuses.push_back(request.status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{206, 503, 503, 200, 200, 200, 200}));
    EXPECT_EQ(server_.requests()[3].range, "bytes=100-199");
}

TEST_F(PackageServerTest, StallHoldsTheConnectionThenClosesAndStopEndsItEarly) {
    constexpr int kStallMs = 600;
    server_.setCues({demo_server::stallAfter(2000, kStallMs)});
    std::string received;
    httplib::Client client("127.0.0.1", server_.port());
    const auto begin = std::chrono::steady_clock::now();
    const httplib::Result stalled = client.Get(path_.c_str(), [&](const char* data, size_t length) {
        received.append(data, length);
        return true;
    });
    const auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_FALSE(stalled);
    EXPECT_TRUE(received == bytes_.substr(0, 2000));
    EXPECT_GE(waited, std::chrono::milliseconds(kStallMs));

    // A stall far longer than any test must not hold up the server's stop.
    server_.setCues({demo_server::stallAfter(10, 600000).requests(0, -1)});
    std::thread request([&] { get(); });
    while (server_.requests().size() < 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto stopBegin = std::chrono::steady_clock::now();
    server_.stop();
    request.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopBegin, std::chrono::seconds(3));
}

}  // namespace

#include "usage/batch_sender.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "collector/collector_server.h"
#include "platform/debug_output.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "usage/send_status.h"

namespace usage_analytics {
namespace {

using collector::CollectorServer;

TEST(BatchSender, Base64AndPercentEncodingFollowTheStandardAlphabets) {
    const struct {
        std::string bytes;
        std::string base64;
    } base64Cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xFB\xFF\xBF", "+/+/"},
        {std::string("\x1F\x8B\x08\x00", 4), "H4sIAA=="},
    };
    for (const auto& c : base64Cases) {
        EXPECT_EQ(base64Encode(c.bytes), c.base64) << c.base64;
    }

    const struct {
        std::string text;
        std::string encoded;
    } percentCases[] = {
        {"AZaz09-_.~", "AZaz09-_.~"},
        {"a+b/c=", "a%2Bb%2Fc%3D"},
        {"&% \n", "%26%25%20%0A"},
        {"\xC3\xA9\xFF", "%C3%A9%FF"},
    };
    for (const auto& c : percentCases) {
        EXPECT_EQ(percentEncode(c.text), c.encoded) << c.text;
    }
}

// The outcome of one exchange, as the caller, the flag, standard error and the debug output see
// it. The flag is set to the opposite beforehand, so that a send that leaves it alone shows.
TEST(BatchSender, ReportsEachOutcomeAndRecordsItAsTheLastSend) {
    CollectorServer server;
    ASSERT_TRUE(server.start());
    CollectorServer gone;
    ASSERT_TRUE(gone.start());
    gone.stop();  // nothing listens on its port any more: the connection is refused

    const struct {
        const char* name;
        std::string url;
        int failStatus;  // 0: the collector accepts
        bool sent;
        std::string stderrStart;
    } cases[] = {
        {"accepted", server.url(), 0, true, ""},
        {"server error", server.url(), 500, false, "UsageAnalytics SDK send failed: rejected\n"},
        {"not found", server.url(), 404, false, "UsageAnalytics SDK send failed: rejected\n"},
        {"connection refused", gone.url(), 0, false, "UsageAnalytics SDK send failed: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.failStatus != 0) {
            server.failNext(1, c.failStatus);
        }
        setLastSendSucceeded(!c.sent);
        const platform::DebugOutputCapture debug;
        testing::internal::CaptureStderr();
        EXPECT_EQ(sendBatch(c.url, R"([{"n":1}])"), c.sent);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(lastSendSucceeded(), c.sent);
        if (c.sent) {
            EXPECT_EQ(errors, "");
            EXPECT_TRUE(debug.lines().empty());
        } else {
            EXPECT_EQ(errors.substr(0, c.stderrStart.size()), c.stderrStart);
            EXPECT_GT(errors.size(), std::string("UsageAnalytics SDK send failed: \n").size());
            EXPECT_EQ(errors.back(), '\n');
            EXPECT_EQ(debug.lines(),
                      std::vector<std::wstring>{L"[usage] UsageAnalytics SDK send failed"});
        }
    }
    EXPECT_EQ(server.records(), std::vector<std::string>{R"({"n":1})"});
}

// A server whose certificate nobody vouches for never sees a record: the device's identity is in
// every one.
TEST(BatchSender, RefusesAServerWithAnUntrustedCertificate) {
    const test_support::TempFolder folder;
    const std::string cert = folder.file("cert.pem");
    const std::string key = folder.file("key.pem");
    const test_support::ChildRun made = test_support::runInChild([&](int) {
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        execlp("openssl", "openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
               "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key.c_str(), "-out",
               cert.c_str(), "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
               "subjectAltName=IP:127.0.0.1", nullptr);
        return 127;
    });
    ASSERT_EQ(made.exitCode(), 0) << "openssl could not make a certificate";

    httplib::SSLServer server(cert.c_str(), key.c_str());
    ASSERT_TRUE(server.is_valid());
    std::atomic<int> posts = 0;
    server.Post("/sa", [&](const httplib::Request&, httplib::Response& response) {
        ++posts;
        response.set_content("ok", "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    // Connections wait in the listen backlog until the loop accepts them; stopping needs the loop
    // running, which the refused exchange below proves.
    std::thread listener([&] { server.listen_after_bind(); });

    testing::internal::CaptureStderr();
    const bool sent =
        sendBatch("https://127.0.0.1:" + std::to_string(port) + "/sa?project=pc", "[{}]");
    const std::string errors = testing::internal::GetCapturedStderr();
    server.stop();
    listener.join();

    EXPECT_FALSE(sent);
    EXPECT_EQ(posts, 0);
    EXPECT_NE(errors.find("certificate"), std::string::npos) << errors;
}

}  // namespace
}  // namespace usage_analytics

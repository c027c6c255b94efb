#include "collector/collector_server.h"

#include <gtest/gtest.h>

#include <string>

#include "usage/batch_sender.h"

namespace collector {
namespace {

// The collector stands in for the real server in every transport test, so it must refuse what
// the real one could not read rather than make a broken body look delivered.
TEST(CollectorServer, StoresOnlyWellFormedBatches) {
    CollectorServer server;
    ASSERT_TRUE(server.start());
    httplib::Client client("127.0.0.1", server.port());
    // "[{}]" compressed by gzip -9 -n: its Base64 holds a "+", which a form body must escape.
    const std::string goodData = usage_analytics::percentEncode("H4sIAAAAAAACA4uuro0FAPz6p+oEAAAA");

    const struct {
        const char* name;
        std::string target;
        std::string body;
        int status;
    } cases[] = {
        {"well formed", "/sa?project=pc", "data_list=" + goodData + "&gzip=1", 200},
        {"other project", "/sa?project=web", "data_list=" + goodData + "&gzip=1", 400},
        {"gzip flag missing", "/sa?project=pc", "data_list=" + goodData, 400},
        {"broken escape", "/sa?project=pc", "data_list=%G1&gzip=1", 400},
        {"unescaped Base64", "/sa?project=pc", "data_list=H4sIAAAAAAACA4uuro0FAPz6p+oEAAAA&gzip=1",
         400},
        {"not gzip", "/sa?project=pc",
         "data_list=" + usage_analytics::percentEncode("W3t9XQ==") + "&gzip=1", 400},
    };
    for (const auto& c : cases) {
        const httplib::Result reply =
            client.Post(c.target.c_str(), c.body, "application/x-www-form-urlencoded");
        ASSERT_TRUE(reply) << c.name;
        EXPECT_EQ(reply->status, c.status) << c.name;
    }

    // JSON that is not an array of objects, through the real transport.
    const struct {
        const char* name;
        std::string array;
        bool stored;
    } batches[] = {
        {"array of objects", R"([{"a":1},{"b":[2]}])", true},
        {"object", R"({"a":1})", false},
        {"array with a number", R"([{"a":1},2])", false},
        {"not JSON", "[{]", false},
    };
    testing::internal::CaptureStderr();
    for (const auto& b : batches) {
        EXPECT_EQ(usage_analytics::sendBatch(server.url(), b.array), b.stored) << b.name;
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(server.records(), (std::vector<std::string>{"{}", R"({"a":1})", R"({"b":[2]})"}));
}

}  // namespace
}  // namespace collector

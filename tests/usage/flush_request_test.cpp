#include "usage/flush_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "collector/collector_server.h"
#include "platform/debug_output.h"
#include "support/temp_folder.h"
#include "usage/sdk.h"
#include "usage/send_status.h"

namespace pelta::usage {
namespace {

using collector::CollectorServer;
using usage_analytics::Sdk;

const std::wstring kAsyncLine = L"[Usage] Sending messages asynchronously";
// Far beyond a loopback exchange, yet a hang still ends the test.
constexpr auto kInFlightTimeout = std::chrono::seconds(10);

class FlushRequestTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.start());
        ASSERT_TRUE(Sdk::Init(folder_.file("local"), server_.url(), "device-1", false));
    }
    void TearDown() override { Sdk::Destroy(); }

    std::size_t sentRecords() const { return server_.records().size(); }

    test_support::TempFolder folder_;
    CollectorServer server_;
    std::shared_ptr<UnsentEventCounter> unsent_ = std::make_shared<UnsentEventCounter>(0);
};

// After a successful send the request runs on the caller's thread and is done when it returns.
TEST_F(FlushRequestTest, OnTheCallersThreadFlushesOnlyWhenEventsAreUnsent) {
    const struct {
        const char* name;
        bool immediate;
        int unsentBefore;
        int unsentAfter;
        std::size_t sent;
    } cases[] = {
        {"immediate, nothing unsent", true, 0, 0, 0},
        {"immediate, events unsent", true, 2, 0, 2},
        {"deferred", false, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t sentBefore = sentRecords();
        Sdk::Track("First");
        Sdk::Track("Second");
        unsent_->store(c.unsentBefore);
        usage_analytics::setLastSendSucceeded(true);
        const platform::DebugOutputCapture debug;

        requestFlush(unsent_, c.immediate);

        EXPECT_EQ(unsent_->load(), c.unsentAfter);
        EXPECT_EQ(sentRecords() - sentBefore, c.sent);
        EXPECT_TRUE(debug.lines().empty());
        ASSERT_TRUE(Sdk::Flush());  // the next row starts with an empty queue
    }
}

TEST_F(FlushRequestTest, AfterAFailedSendRunsOnAThreadThatWaitingOutlasts) {
    Sdk::Track("Crash");
    unsent_->store(1);
    usage_analytics::setLastSendSucceeded(true);
    server_.failNext(3, 500);
    testing::internal::CaptureStderr();
    requestFlush(unsent_, true);  // three attempts on this thread, all refused
    testing::internal::GetCapturedStderr();
    ASSERT_FALSE(usage_analytics::lastSendSucceeded());
    ASSERT_EQ(unsent_->load(), 1);

    // The collector holds the next post until the test lets it go: the request returns to its
    // caller while its send is still on the wire.
    std::promise<void> arrived;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    server_.onPost([&arrived, released] {
        arrived.set_value();
        released.wait_for(kInFlightTimeout);
    });
    const platform::DebugOutputCapture debug;

    requestFlush(unsent_, true);

    ASSERT_EQ(arrived.get_future().wait_for(kInFlightTimeout), std::future_status::ready);
    EXPECT_EQ(unsent_->load(), 1);
    release.set_value();
    waitForFlushRequests();
    EXPECT_EQ(unsent_->load(), 0);
    EXPECT_EQ(sentRecords(), 1U);
    EXPECT_TRUE(usage_analytics::lastSendSucceeded());
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>{kAsyncLine});
    server_.onPost(nullptr);
}

TEST_F(FlushRequestTest, DeferredRequestsOnTheirOwnThreadsAllCount) {
    constexpr int kRequests = 8;
    usage_analytics::setLastSendSucceeded(false);
    const platform::DebugOutputCapture debug;
    for (int i = 0; i < kRequests; ++i) {
        requestFlush(unsent_, false);
    }
    waitForFlushRequests();
    EXPECT_EQ(unsent_->load(), kRequests);
    EXPECT_EQ(debug.lines(), std::vector<std::wstring>(kRequests, kAsyncLine));
    EXPECT_EQ(sentRecords(), 0U);
}

}  // namespace
}  // namespace pelta::usage

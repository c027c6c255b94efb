#include "usage/record_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "collector/collector_server.h"
#include "support/temp_folder.h"

namespace usage_analytics {
namespace {

using collector::CollectorServer;
using test_support::TempFolder;

std::string record(const std::string& tag, int n) {
    return R"({"tag":")" + tag + R"(","n":)" + std::to_string(n) + "}";
}

std::vector<std::string> records(const std::string& tag, int first, int end) {
    std::vector<std::string> made;
    for (int n = first; n < end; ++n) {
        made.push_back(record(tag, n));
    }
    return made;
}

std::vector<std::string> joined(std::vector<std::string> head,
                                const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::vector<std::string> queued(const RecordQueue& queue) {
    const auto all = queue.records();
    return {all.begin(), all.end()};
}

std::vector<std::size_t> batchSizes(const CollectorServer& server) {
    std::vector<std::size_t> sizes;
    for (const collector::ReceivedPost& post : server.posts()) {
        sizes.push_back(post.records);
    }
    return sizes;
}

class RecordQueueTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.start()); }

    void add(RecordQueue& queue, const std::vector<std::string>& texts) {
        for (const std::string& text : texts) {
            queue.add(text);
        }
    }

    TempFolder folder_;
    CollectorServer server_;
};

TEST_F(RecordQueueTest, PostsTheQueuedRecordsVerbatimAsOneGzipBase64FormField) {
    RecordQueue queue(server_.url(), folder_.file("staging"));
    const std::vector<std::string> texts = {
        R"({"event":"Install","properties":{"name":"\u00e9t\u00e9 \"quoted\" a+b/c=d&e"}})",
        "{\"text\":\"\xE4\xB8\xAD\xE6\x96\x87\\n\"}", R"({})"};
    add(queue, texts);

    EXPECT_TRUE(queue.flushPart());

    const auto posts = server_.posts();
    ASSERT_EQ(posts.size(), 1U);
    const std::string& body = posts[0].body;
    EXPECT_EQ(body.substr(0, 14), "data_list=H4sI");
    EXPECT_EQ(body.substr(body.size() - 7), "&gzip=1");
    EXPECT_EQ(collector::decodeBatchBody(body),
              "[" + texts[0] + "," + texts[1] + "," + texts[2] + "]");
    EXPECT_EQ(posts[0].userAgent, "UsageAnalytics CPP SDK 0.9");
    EXPECT_TRUE(queue.records().empty());
}

TEST_F(RecordQueueTest, FlushSendsBatchesOfThirtyOldestFirst) {
    RecordQueue queue(server_.url(), folder_.file("staging"));
    add(queue, records("r", 0, 65));

    EXPECT_TRUE(queue.flush());

    EXPECT_EQ(batchSizes(server_), (std::vector<std::size_t>{30, 30, 5}));
    EXPECT_EQ(server_.records(), records("r", 0, 65));
    EXPECT_TRUE(queue.records().empty());
}

TEST_F(RecordQueueTest, EmptyQueueSendsNothing) {
    RecordQueue queue(server_.url(), folder_.file("staging"));
    EXPECT_TRUE(queue.flushPart());
    EXPECT_TRUE(queue.flush());
    EXPECT_TRUE(server_.posts().empty());
}

TEST_F(RecordQueueTest, FailedBatchGoesBackToTheFrontAndFlushStops) {
    RecordQueue queue(server_.url(), folder_.file("staging"));
    add(queue, records("r", 0, 65));
    std::atomic<int> postCount = 0;
    server_.onPost([&] {
        if (++postCount == 2) {
            server_.failNext(1, 500);
        }
    });

    testing::internal::CaptureStderr();
    EXPECT_FALSE(queue.flush());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "UsageAnalytics SDK send failed: rejected\n");
    EXPECT_EQ(batchSizes(server_), (std::vector<std::size_t>{30, 30}));
    EXPECT_EQ(queued(queue), records("r", 30, 65));

    EXPECT_TRUE(queue.flush());
    EXPECT_EQ(server_.records(), records("r", 0, 65));
}

TEST_F(RecordQueueTest, KeepsTheNewestRecordsWhenFull) {
    RecordQueue queue(server_.url(), folder_.file("staging"));
    add(queue, records("r", 0, 1025));
    EXPECT_EQ(queued(queue), records("r", 1, 1025));
}

// While a batch is out the queue refills; a failed batch then keeps only its newest records that
// still fit, in front of the newcomers.
TEST_F(RecordQueueTest, PutsBackOnlyWhatFitsBesideRecordsAddedDuringTheSend) {
    RecordQueue queue(server_.url(), folder_.file("staging"));
    add(queue, records("old", 0, 30));
    server_.onPost([&] { add(queue, records("new", 0, 1020)); });
    server_.failNext(1, 503);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(queue.flushPart());
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(queued(queue), joined(records("old", 26, 30), records("new", 0, 1020)));
}

// The staging file is read once, before the first send or at shutdown, into the front of the
// queue, and the queue is written back to it at shutdown.
TEST_F(RecordQueueTest, StagingFileIsLoadedOnceAndSavedAtShutdown) {
    const std::string staging = folder_.file("staging");
    const std::string stagedText = record("staged", 0) + "\nnot a record\n\n{cut off\n" +
                                   record("staged", 1) + "\n" + record("staged", 2) + "\n";
    const struct {
        const char* name;
        bool flushFirst;
        std::vector<std::string> sent;
        std::string savedText;
    } cases[] = {
        {"shutdown without a send",
         false,
         {},
         record("staged", 0) + "\n" + record("staged", 1) + "\n" + record("staged", 2) + "\n" +
             record("added", 0) + "\n"},
        {"flush, then shutdown",
         true,
         {record("staged", 0), record("staged", 1), record("staged", 2), record("added", 0)},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t postsBefore = server_.records().size();
        folder_.write("staging", stagedText);
        {
            RecordQueue queue(server_.url(), staging);
            queue.add(record("added", 0));
            EXPECT_EQ(queue.records().size(), 1U) << "read before it was needed";
            if (c.flushFirst) {
                EXPECT_TRUE(queue.flush());
                EXPECT_EQ(folder_.read("staging"), "") << "not truncated after loading";
                folder_.write("staging", stagedText);  // not read a second time
            }
        }
        const auto all = server_.records();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(postsBefore),
                                           all.end()),
                  c.sent);
        EXPECT_EQ(folder_.read("staging"), c.savedText);
    }
}

// A dying process writes the staging file at once: earlier runs' records, then a batch that is
// still on its way (it may never arrive), then the queue, all in their order; nothing is sent.
TEST_F(RecordQueueTest, SaveStagingWritesEverythingUnsentWithoutSending) {
    const struct {
        const char* name;
        bool duringSend;
    } cases[] = {{"idle queue", false}, {"while a batch is sent", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        folder_.write("staging", record("staged", 0) + "\n");
        RecordQueue queue(server_.url(), folder_.file("staging"));
        add(queue, records("r", 0, 35));
        std::string expected = record("staged", 0) + "\n";
        for (const std::string& line : records("r", 0, 35)) {
            expected += line + "\n";
        }
        const std::size_t postsBefore = server_.posts().size();

        std::string savedText;
        if (c.duringSend) {
            server_.onPost([&] {
                EXPECT_TRUE(queue.saveStaging());
                savedText = folder_.read("staging");
            });
            server_.failNext(1, 503);
            testing::internal::CaptureStderr();
            EXPECT_FALSE(queue.flushPart());
            testing::internal::GetCapturedStderr();
            server_.onPost({});
        } else {
            EXPECT_TRUE(queue.saveStaging());
            savedText = folder_.read("staging");
        }

        EXPECT_EQ(savedText, expected);
        EXPECT_EQ(server_.posts().size(), postsBefore + (c.duringSend ? 1 : 0));
        EXPECT_TRUE(server_.records().empty());
    }
}

TEST_F(RecordQueueTest, StagingKeepsItsNewestRecordsWithinTheLimit) {
    std::string text;
    for (const std::string& line : records("staged", 0, 1030)) {
        text += line + "\n";
    }
    folder_.write("staging", text);
    { RecordQueue queue(server_.url(), folder_.file("staging")); }

    std::string expected;
    for (const std::string& line : records("staged", 6, 1030)) {
        expected += line + "\n";
    }
    EXPECT_EQ(folder_.read("staging"), expected);
}

// The installer hands the queue a folder: nothing is read from it or written into it, and the
// queue works on.
TEST_F(RecordQueueTest, StagingPathThatIsAFolderIsIgnored) {
    const std::string folderPath = folder_.file("local");
    std::filesystem::create_directory(folderPath);
    {
        RecordQueue queue(server_.url(), folderPath);
        queue.add(record("r", 0));
        EXPECT_TRUE(queue.flush());
        queue.add(record("r", 1));
    }
    EXPECT_EQ(server_.records(), std::vector<std::string>{record("r", 0)});
    EXPECT_TRUE(std::filesystem::is_directory(folderPath));
    EXPECT_TRUE(std::filesystem::is_empty(folderPath));
}

}  // namespace
}  // namespace usage_analytics

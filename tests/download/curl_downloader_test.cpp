#include "download/curl_downloader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "demo_server/package_server.h"
#include "download/download_codes.h"
#include "download/pipeline_recorder.h"
#include "support/temp_folder.h"

namespace {

using demo_server::Cue;
using test_support::Event;
using test_support::TempFolder;
using Pipeline = test_support::RecordedPipeline<CCurlDownloader>;

constexpr std::int64_t kPackageBytes = 2 * 1048576 + 17;
constexpr std::uint32_t kSeed = 11;

const Event kStart{DL_CODE_START, 1.0, L""};
const Event kSuccess{DL_CODE_SUCCESS, 0.0, L"LibCurl"};
const Event kNoMd5{DL_CODE_REPORT, 0.0, L"curl获取url-md5失败"};
const Event kMd5Mismatch{DL_CODE_REPORT, 0.0, L"curl文件md5校验失败"};
const Event kRetry{DL_CODE_RETRY, 0.0, L"LibCurl"};
const Event kChecksumFail{DL_CODE_FAIL, 0.0, L"LibCurl"};

class CurlDownloaderTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.start()); }

    std::string content() const {
        return demo_server::generatedBytes(kSeed, 0, static_cast<std::size_t>(kPackageBytes));
    }
    std::string addPackage(std::optional<std::string> directory = {}) {
        const std::string path =
            server_.addGeneratedFile("pkg.bin", kPackageBytes, kSeed, std::move(directory));
        server_.setPackage(path);
        return path;
    }
    std::vector<demo_server::Request> gets() const { return server_.requests("GET"); }

    demo_server::PackageServer server_;
    TempFolder folder_;
};

TEST_F(CurlDownloaderTest, ReportsEachScenarioAndLeavesTheFile) {
    const std::string md5 = demo_server::md5Hex(content());
    std::string wrongMd5 = md5;
    wrongMd5[0] = wrongMd5[0] == '0' ? '1' : '0';
    std::string inverted = content();
    for (char& byte : inverted) {
        byte = static_cast<char>(~byte);
    }

    const struct {
        const char* name;
        std::optional<std::string> directory;
        std::vector<Cue> cues;
        std::vector<Event> expected;
        std::string file;
        std::size_t gets;
        bool expectsProgress;  // a slow machine may see progress in the other rows too
    } cases[] = {
        {"correct md5", {}, {}, {kStart, kSuccess}, content(), 1, false},
        {"no md5 directory", "packages", {}, {kStart, kNoMd5, kSuccess}, content(), 1, false},
        {"wrong bytes",
         {},
         {demo_server::wrongBytes().requests(0, -1)},
         {kStart, kMd5Mismatch, kRetry, kStart, kMd5Mismatch, kChecksumFail},
         inverted,
         2,
         false},
        {"one character of the md5 wrong",
         wrongMd5,
         {},
         {kStart, kMd5Mismatch, kRetry, kStart, kMd5Mismatch, kChecksumFail},
         content(),
         2,
         false},
        {"connection dropped mid-file",
         {},
         {demo_server::dropAfter(1000000)},
         {kStart, kSuccess},
         content(),
         2,
         false},
        // The pause makes the transfer last past the once-a-second progress step.
        {"stalled, then closed",
         {},
         {demo_server::stallAfter(1048576, 1500)},
         {kStart, kSuccess},
         content(),
         2,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        addPackage(c.directory);
        server_.setCues(c.cues);
        const std::size_t getsBefore = gets().size();
        Pipeline pipeline(server_.url("/software/327"), folder_.wideFile("pkg.bin"));
        pipeline.restartOn(DL_CODE_RETRY);

        pipeline.start();
        ASSERT_TRUE(pipeline.waitForFinal());
        pipeline.destroy();

        EXPECT_EQ(pipeline.milestones(), c.expected);
        EXPECT_TRUE(folder_.read("pkg.bin") == c.file);
        EXPECT_FALSE(std::filesystem::exists(folder_.path() / "pkg.bin.part"));
        const auto requests = gets();
        ASSERT_EQ(requests.size() - getsBefore, c.gets);
        if (c.cues.size() == 1 && c.cues[0].action != Cue::Action::WrongBytes) {
            // The second attempt continues from what the first one wrote.
            EXPECT_EQ(requests.back().range, "bytes=" + std::to_string(c.cues[0].bytes) + "-");
        }
        const auto progress = pipeline.progress();
        if (c.expectsProgress) {
            EXPECT_FALSE(progress.empty());
        }
        for (const double fraction : progress) {
            EXPECT_GT(fraction, 0.0);
            EXPECT_LE(fraction, 1.0);
        }
        std::filesystem::remove(folder_.path() / "pkg.bin");
    }
}

// Every failure other than a cut-off transfer costs two of twelve: six attempts, 500 ms apart.
// A later StartDownload (the user's retry) runs again from the start.
TEST_F(CurlDownloaderTest, FailsWithTheLastCodeAfterTheBudgetAndCanStartAgain) {
    addPackage();
    server_.setCues({demo_server::answerStatus(500).requests(0, -1)});
    Pipeline pipeline(server_.url("/software/327"), folder_.wideFile("pkg.bin"));

    const auto began = std::chrono::steady_clock::now();
    pipeline.start();
    ASSERT_TRUE(pipeline.waitForFinal());
    const auto elapsed = std::chrono::steady_clock::now() - began;

    EXPECT_EQ(pipeline.milestones(),
              (std::vector<Event>{kStart, {DL_CODE_FAIL, CURLE_HTTP_RETURNED_ERROR, L"LibCurl"}}));
    EXPECT_EQ(gets().size(), 6u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(2500));

    server_.setCues({});
    pipeline.start();
    ASSERT_TRUE(pipeline.waitForFinal(2));
    pipeline.destroy();
    EXPECT_EQ(
        pipeline.milestones(),
        (std::vector<Event>{
            kStart, {DL_CODE_FAIL, CURLE_HTTP_RETURNED_ERROR, L"LibCurl"}, kStart, kSuccess}));
    EXPECT_TRUE(folder_.read("pkg.bin") == content());
}

TEST_F(CurlDownloaderTest, DestructionDuringATransferCancelsItPromptly) {
    addPackage();
    server_.setCues({demo_server::stallAfter(1048576, 20000)});
    Pipeline pipeline(server_.url("/software/327"), folder_.wideFile("pkg.bin"));
    pipeline.start();
    // Progress arrives once the transfer has sat in the stall for a second.
    ASSERT_TRUE(pipeline.waitForProgress());

    const auto began = std::chrono::steady_clock::now();
    pipeline.destroy();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));

    EXPECT_EQ(pipeline.milestones(), std::vector<Event>{kStart});
    EXPECT_FALSE(std::filesystem::exists(folder_.path() / "pkg.bin"));
    EXPECT_FALSE(std::filesystem::exists(folder_.path() / "pkg.bin.part"));
}

}  // namespace

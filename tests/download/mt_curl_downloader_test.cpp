#include "download/mt_curl_downloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "demo_server/package_server.h"
#include "download/download_codes.h"
#include "download/download_part_node.h"
#include "download/pipeline_recorder.h"
#include "support/temp_folder.h"
#include "utils/checksum.h"

namespace {

using demo_server::Cue;
using test_support::Event;
using test_support::TempFolder;

constexpr std::int64_t kTwoPartBytes = 2 * 10485760;
constexpr std::int64_t kSmallBytes = 3 * 1048576;
constexpr std::uint32_t kSeed = 23;
constexpr char kPackageName[] = "pkg.exe";
constexpr char kSoftwarePath[] = "/software/327";

const Event kStart{DL_CODE_START, 1.0, L""};
const Event kSuccess{DL_CODE_SUCCESS, 0.0, L"LibCurl"};
const Event kProbeFail{DL_CODE_FAIL, 0.0, L"LibCurl"};
const Event kNoMd5{DL_CODE_REPORT, 0.0, L"mtcurl获取url-md5失败"};
const Event kMd5Mismatch{DL_CODE_REPORT, 0.0, L"mtcurl文件md5校验失败"};
const Event kMd5Retry{DL_CODE_RETRY, 0.0, L"LibCurl"};
const Event kMd5Fail{DL_CODE_FAIL, 0.0, L"LibCurl"};
const Event kHttpErrorRetry{DL_CODE_RETRY, CURLE_HTTP_RETURNED_ERROR, L"LibCurl"};
const Event kHttpErrorFail{DL_CODE_FAIL, CURLE_HTTP_RETURNED_ERROR, L"LibCurl"};
const Event kMergeRetry{DL_CODE_RETRY, kPartFileFailed, L"LibCurl"};
const Event kMergeFail{DL_CODE_FAIL, kPartFileFailed, L"LibCurl"};

// As the pipeline does, every run that asks for a retry is started again from inside the
// callback, after `beforeRestart` (which stands for whatever the earlier run left on disk).
class Pipeline : public test_support::RecordedPipeline<CMTCurlDownloader> {
public:
    Pipeline(const std::string& url, const std::wstring& savePath,
             std::function<void()> beforeRestart = {})
        : RecordedPipeline(url, savePath) {
        restartOn(DL_CODE_RETRY, std::move(beforeRestart));
    }
};

std::string range(std::int64_t first, std::int64_t last) {
    return "bytes=" + std::to_string(first) + "-" + std::to_string(last);
}

class MTCurlDownloaderTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.start()); }

    static std::string content(std::int64_t size) {
        return demo_server::generatedBytes(kSeed, 0, static_cast<std::size_t>(size));
    }
    void addPackage(std::int64_t size, std::optional<std::string> directory = {}) {
        server_.setPackage(
            server_.addGeneratedFile(kPackageName, size, kSeed, std::move(directory)));
    }
    std::string softwareUrl() const { return server_.url(kSoftwarePath); }
    std::wstring savePath() const { return folder_.wideFile(kPackageName); }
    std::string partFile(int index) const {
        return CMTCurlDownloader::GetPartFilePath(folder_.file(kPackageName), index);
    }
    bool partFilesGone() const {
        return !std::filesystem::exists(partFile(0)) && !std::filesystem::exists(partFile(1));
    }
    // The Range headers of the GET requests, in arrival order.
    std::vector<std::string> getRanges() const {
        std::vector<std::string> ranges;
        for (const auto& request : server_.requests("GET")) {
            ranges.push_back(request.range);
        }
        return ranges;
    }

    static void expectRisingFractions(const std::vector<double>& progress) {
        for (std::size_t i = 0; i < progress.size(); ++i) {
            EXPECT_GT(progress[i], 0.0);
            EXPECT_LE(progress[i], 1.0);
            if (i > 0) {
                EXPECT_GE(progress[i] - progress[i - 1], 0.01);
            }
        }
    }

    demo_server::PackageServer server_;
    TempFolder folder_;
};

enum class Md5Folder { Correct, Missing, UpperCase };

std::vector<std::string> sorted(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

TEST_F(MTCurlDownloaderTest, ReportsEachScenarioAndLeavesTheRightFile) {
    constexpr std::int64_t kOddBytes = kTwoPartBytes + 1;
    constexpr std::int64_t kHalf = kTwoPartBytes / 2;
    constexpr std::int64_t kDropBytes = 1000000;
    const std::vector<Event> md5Twice{kStart, kMd5Mismatch, kMd5Retry,
                                      kStart, kMd5Mismatch, kMd5Fail};
    const std::vector<Event> httpErrorTwice{kStart, kHttpErrorRetry, kStart, kHttpErrorFail};
    const std::vector<std::string> sevenSmallRanges(7, range(0, kSmallBytes - 1));

    const struct {
        const char* name;
        std::int64_t size;
        Md5Folder md5Folder;
        std::vector<Cue> cues;
        std::vector<Event> expected;
        bool fileExpected;
        // GET ranges in any order; none: not checked.
        std::optional<std::vector<std::string>> ranges;
    } cases[] = {
        {"exactly twenty MiB: two equal parts",
         kTwoPartBytes,
         Md5Folder::Correct,
         {},
         {kStart, kSuccess},
         true,
         std::vector<std::string>{range(0, kHalf - 1), range(kHalf, kTwoPartBytes - 1)}},
        {"one byte less: one part",
         kTwoPartBytes - 1,
         Md5Folder::Correct,
         {},
         {kStart, kSuccess},
         true,
         std::vector<std::string>{range(0, kTwoPartBytes - 2)}},
        {"odd length: the extra byte goes to the second part",
         kOddBytes,
         Md5Folder::Correct,
         {},
         {kStart, kSuccess},
         true,
         std::vector<std::string>{range(0, kHalf - 1), range(kHalf, kOddBytes - 1)}},
        {"the shortest package there is",
         256,
         Md5Folder::Correct,
         {},
         {kStart, kSuccess},
         true,
         std::vector<std::string>{range(0, 255)}},
        {"too short to be a package: the probe fails",
         255,
         Md5Folder::Correct,
         {},
         {kStart, kProbeFail},
         false,
         std::vector<std::string>{}},
        {"no md5 folder",
         kSmallBytes,
         Md5Folder::Missing,
         {},
         {kStart, kNoMd5, kSuccess},
         true,
         std::vector<std::string>{range(0, kSmallBytes - 1)}},
        {"wrong bytes: mismatch, restart, mismatch",
         kSmallBytes,
         Md5Folder::Correct,
         {demo_server::wrongBytes().requests(0, -1)},
         md5Twice,
         false,
         std::vector<std::string>(2, range(0, kSmallBytes - 1))},
        {"upper-case md5 never matches",
         kSmallBytes,
         Md5Folder::UpperCase,
         {},
         md5Twice,
         false,
         std::nullopt},
        {"dropped connection: the part resumes where it stopped",
         kSmallBytes,
         Md5Folder::Correct,
         {demo_server::dropAfter(kDropBytes)},
         {kStart, kSuccess},
         true,
         std::vector<std::string>{range(0, kSmallBytes - 1), range(kDropBytes, kSmallBytes - 1)}},
        // Seven attempts per run, 400 ms apart, in each of the two runs.
        {"error status on every request: retry, then fail",
         kSmallBytes,
         Md5Folder::Correct,
         {demo_server::answerStatus(500).requests(0, -1)},
         httpErrorTwice,
         false,
         [&] {
             auto both = sevenSmallRanges;
             both.insert(both.end(), sevenSmallRanges.begin(), sevenSmallRanges.end());
             return both;
         }()},
        // A 200 carries the whole file, which is this part's data only when the part is the file.
        {"range ignored for a part: refused, then asked again",
         kTwoPartBytes,
         Md5Folder::Correct,
         {demo_server::ignoreRange().requests(0, 2)},
         {kStart, kSuccess},
         true,
         std::vector<std::string>{range(0, kHalf - 1), range(0, kHalf - 1),
                                  range(kHalf, kTwoPartBytes - 1),
                                  range(kHalf, kTwoPartBytes - 1)}},
        {"range ignored for the whole file: the answer is the file",
         kSmallBytes,
         Md5Folder::Correct,
         {demo_server::ignoreRange().requests(0, -1)},
         {kStart, kSuccess},
         true,
         std::vector<std::string>{range(0, kSmallBytes - 1)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The server names the folder by the content's MD5; the test never builds the bytes.
        const std::string md5 =
            Utils::GetUrlMd5(server_.addGeneratedFile(kPackageName, c.size, kSeed));
        std::optional<std::string> folder;
        if (c.md5Folder == Md5Folder::Missing) {
            folder = "packages";
        } else if (c.md5Folder == Md5Folder::UpperCase) {
            folder = md5;
            std::transform(folder->begin(), folder->end(), folder->begin(),
                           [](unsigned char ch) { return std::toupper(ch); });
        }
        if (folder) {
            addPackage(c.size, folder);
        } else {
            server_.setPackage("/" + md5 + "/" + kPackageName);
        }
        server_.setCues(c.cues);
        const std::size_t getsBefore = getRanges().size();

        Pipeline pipeline(softwareUrl(), savePath());
        pipeline.start();
        ASSERT_TRUE(pipeline.waitForFinal());
        pipeline.destroy();

        EXPECT_EQ(pipeline.milestones(), c.expected);
        if (c.fileExpected) {
            EXPECT_EQ(Utils::GetFileMd5(folder_.file(kPackageName)), md5);
        } else {
            EXPECT_FALSE(std::filesystem::exists(folder_.file(kPackageName)));
        }
        EXPECT_TRUE(partFilesGone());
        if (c.ranges) {
            const auto all = getRanges();
            EXPECT_EQ(sorted({all.begin() + static_cast<std::ptrdiff_t>(getsBefore), all.end()}),
                      sorted(*c.ranges));
        }
        expectRisingFractions(pipeline.progress());
        std::filesystem::remove(folder_.file(kPackageName));
    }
}

// Slow by design (over five seconds): a stalled attempt ends only through the low-speed limit of
// 1 byte/s over 5 s. The stall comes on the resumed attempt, from its first byte, since bytes
// received just before it would keep libcurl's speed average up for several seconds more.
TEST_F(MTCurlDownloaderTest, SlowStalledTransferEndsThroughTheLowSpeedLimitAndResumes) {
    constexpr std::int64_t kDropBytes = 1048576;
    constexpr int kStallMs = 20000;
    addPackage(kSmallBytes);
    server_.setCues(
        {demo_server::dropAfter(kDropBytes), demo_server::stallAfter(0, kStallMs).requests(1, 1)});
    Pipeline pipeline(softwareUrl(), savePath());

    const auto began = std::chrono::steady_clock::now();
    pipeline.start();
    ASSERT_TRUE(pipeline.waitForFinal());
    const auto elapsed = std::chrono::steady_clock::now() - began;
    pipeline.destroy();

    EXPECT_EQ(pipeline.milestones(), (std::vector<Event>{kStart, kSuccess}));
    EXPECT_GE(elapsed, std::chrono::seconds(5));
    EXPECT_LT(elapsed, std::chrono::milliseconds(kStallMs));
    EXPECT_EQ(getRanges(), (std::vector<std::string>{range(0, kSmallBytes - 1),
                                                     range(kDropBytes, kSmallBytes - 1),
                                                     range(kDropBytes, kSmallBytes - 1)}));
    EXPECT_EQ(Utils::GetFileMd5(folder_.file(kPackageName)),
              demo_server::md5Hex(content(kSmallBytes)));
    EXPECT_TRUE(partFilesGone());
    // A third of the file sat on disk through the stall.
    EXPECT_FALSE(pipeline.progress().empty());
    expectRisingFractions(pipeline.progress());
}

// The first run gets a third of the file, then fails: one cut-off attempt costs one of twelve,
// seven error answers the rest. The progress it reported keeps the part file for the restart, which
// asks only for what is missing.
TEST_F(MTCurlDownloaderTest, RestartAsksOnlyForWhatTheKeptPartFileLacks) {
    constexpr std::int64_t kDropBytes = 1048576;
    const std::string bytes = content(kSmallBytes);
    const struct {
        const char* name;
        std::int64_t partBytes;  // what the part file holds when the restart begins
        std::vector<std::string> ranges;
    } cases[] = {
        {"all but the last byte: a one-byte range",
         kSmallBytes - 1,
         {range(kSmallBytes - 1, kSmallBytes - 1)}},
        {"the whole part: no request at all, merged at once", kSmallBytes, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        addPackage(kSmallBytes);
        server_.setCues(
            {demo_server::dropAfter(kDropBytes), demo_server::answerStatus(500).requests(1, 7)});
        const std::size_t getsBefore = getRanges().size();
        std::size_t getsOfFirstRun = 0;
        Pipeline pipeline(softwareUrl(), savePath(), [&] {
            EXPECT_EQ(std::filesystem::file_size(partFile(0)),
                      static_cast<std::uintmax_t>(kDropBytes));
            std::ofstream(partFile(0), std::ios::binary | std::ios::trunc)
                << bytes.substr(0, static_cast<std::size_t>(c.partBytes));
            getsOfFirstRun = getRanges().size();
        });
        pipeline.start();
        ASSERT_TRUE(pipeline.waitForFinal());
        pipeline.destroy();

        EXPECT_EQ(pipeline.milestones(),
                  (std::vector<Event>{kStart, kHttpErrorRetry, kStart, kSuccess}));
        EXPECT_EQ(getsOfFirstRun - getsBefore, 8u);
        const auto all = getRanges();
        EXPECT_EQ(std::vector<std::string>(
                      all.begin() + static_cast<std::ptrdiff_t>(getsOfFirstRun), all.end()),
                  c.ranges);
        EXPECT_TRUE(folder_.read(kPackageName) == bytes);
        EXPECT_TRUE(partFilesGone());
        std::filesystem::remove(folder_.file(kPackageName));
    }
}

// A package that cannot be put in place is never reported as downloaded.
TEST_F(MTCurlDownloaderTest, MergeThatCannotPlaceTheFileFailsAfterOneRestart) {
    addPackage(kSmallBytes);
    // A folder that is not empty at the save path: deleting it fails, and so does the rename.
    std::filesystem::create_directories(folder_.path() / kPackageName / "keep");
    Pipeline pipeline(softwareUrl(), savePath());

    pipeline.start();
    ASSERT_TRUE(pipeline.waitForFinal());
    pipeline.destroy();

    EXPECT_EQ(pipeline.milestones(), (std::vector<Event>{kStart, kMergeRetry, kStart, kMergeFail}));
    EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / kPackageName / "keep"));
    EXPECT_TRUE(partFilesGone());
}

TEST_F(MTCurlDownloaderTest, RunsAskedForTogetherRunOneAfterTheOther) {
    addPackage(kSmallBytes);
    Pipeline pipeline(softwareUrl(), savePath());

    pipeline.start();
    pipeline.start();
    ASSERT_TRUE(pipeline.waitForFinal(2));
    pipeline.destroy();

    EXPECT_EQ(pipeline.milestones(), (std::vector<Event>{kStart, kSuccess, kStart, kSuccess}));
    // The second run kept the first one's real URL and length: one probe, through the redirect.
    EXPECT_EQ(server_.requests("HEAD").size(), 2u);
    EXPECT_EQ(getRanges(), std::vector<std::string>(2, range(0, kSmallBytes - 1)));
    EXPECT_EQ(Utils::GetFileMd5(folder_.file(kPackageName)),
              demo_server::md5Hex(content(kSmallBytes)));
    EXPECT_TRUE(partFilesGone());
}

TEST_F(MTCurlDownloaderTest, DestructionDuringTransfersCancelsThemPromptlyAndReportsNothingMore) {
    addPackage(kTwoPartBytes);
    server_.setCues({demo_server::stallAfter(262144, 30000).requests(0, -1)});
    Pipeline pipeline(softwareUrl(), savePath());
    pipeline.start();
    // Both parts hold their first 256 KiB once progress reaches 2.5 %.
    ASSERT_TRUE(pipeline.waitForProgress(0.025));

    const auto began = std::chrono::steady_clock::now();
    pipeline.destroy();
    const auto elapsed = std::chrono::steady_clock::now() - began;

    EXPECT_LT(elapsed, std::chrono::seconds(3));
    // The cancelled run ends without a final report.
    EXPECT_EQ(pipeline.milestones(), (std::vector<Event>{kStart}));
    EXPECT_EQ(getRanges().size(), 2u);
}

}  // namespace

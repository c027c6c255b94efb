#include "download/win_downloader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "demo_server/package_server.h"
#include "download/download_codes.h"
#include "download/pipeline_recorder.h"
#include "download/served_package.h"

namespace {

using namespace std::chrono_literals;
using test_support::Event;

constexpr std::int64_t kFileBytes = 3 * 1024 * 1024;
constexpr std::uint32_t kSeed = 5;
constexpr wchar_t kMechanism[] = L"URLDownloadToFile";
// 0x800C0007, the answer of the system download to an HTTP error status.
constexpr double kHttpErrorValue = -2146697209.0;

class WinDownloaderTest : public test_support::ServedPackage {
protected:
    WinDownloaderTest() : ServedPackage(kFileBytes, kSeed) {}

    test_support::PipelineRecorder recorder_;
};

TEST_F(WinDownloaderTest, DownloadsThroughRedirectWithRisingProgress) {
    CWinDownloader downloader(recorder_.callback(), wide(server_.url("/software/327")),
                              folder_.wideFile("package.exe"));
    downloader.StartDownload();
    ASSERT_TRUE(recorder_.waitFor(DL_CODE_SUCCESS, 1, 20s));

    const std::vector<Event> events = recorder_.events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), (Event{DL_CODE_START, 1.0, L""}));
    EXPECT_EQ(events.back(), (Event{DL_CODE_SUCCESS, 0.0, kMechanism}));
    double last = 0.0;
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].code, DL_CODE_PROGRESS);
        EXPECT_TRUE(events[i].text.empty());
        EXPECT_GE(events[i].value, last);
        last = events[i].value;
    }
    EXPECT_EQ(last, 1.0);
    EXPECT_TRUE(folder_.read("package.exe") == bytes_);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"package.exe"});
}

TEST_F(WinDownloaderTest, ThreeFailedAttemptsGiveOneFailAndARestartFromTheCallbackRunsAgain) {
    server_.setCues({demo_server::answerStatus(503).requests(0, 3)});
    std::unique_ptr<CWinDownloader> downloader;
    // The window's reinstall: a new start from inside the failed run's own report.
    recorder_.setHook([&](const Event& event) {
        if (event.code == DL_CODE_FAIL) {
            downloader->StartDownload();
        }
    });
    downloader = std::make_unique<CWinDownloader>(
        recorder_.callback(), wide(server_.url(filePath_)), folder_.wideFile("package.exe"));
    const auto begin = std::chrono::steady_clock::now();
    downloader->StartDownload();
    ASSERT_TRUE(recorder_.waitFor(DL_CODE_FAIL, 1, 20s));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 2900ms);
    ASSERT_TRUE(recorder_.waitFor(DL_CODE_SUCCESS, 1, 20s));

    EXPECT_EQ(recorder_.milestones(),
              (std::vector<Event>{{DL_CODE_START, 1.0, L""},
                                  {DL_CODE_FAIL, kHttpErrorValue, kMechanism},
                                  {DL_CODE_START, 1.0, L""},
                                  {DL_CODE_SUCCESS, 0.0, kMechanism}}));
    std::vector<int> statuses;
    for (const demo_server::Request& request : server_.requests()) {
        statuses.push_back(request.status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{503, 503, 503, 200}));
    EXPECT_TRUE(folder_.read("package.exe") == bytes_);
}

TEST_F(WinDownloaderTest, DestructionDuringTransferAbortsAndReportsNothingMore) {
    server_.setCues({demo_server::stallAfter(1024 * 1024, 60000)});
    auto downloader = std::make_unique<CWinDownloader>(
        recorder_.callback(), wide(server_.url(filePath_)), folder_.wideFile("package.exe"));
    downloader->StartDownload();
    ASSERT_TRUE(recorder_.waitFor(DL_CODE_PROGRESS, 2, 20s));

    const auto begin = std::chrono::steady_clock::now();
    downloader.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
    const std::size_t reported = recorder_.events().size();
    std::this_thread::sleep_for(200ms);

    EXPECT_EQ(recorder_.events().size(), reported);
    EXPECT_EQ(recorder_.milestones(), (std::vector<Event>{{DL_CODE_START, 1.0, L""}}));
    EXPECT_TRUE(folderEntries().empty());
}

TEST_F(WinDownloaderTest, NonAsciiUrlIsSentAsPercentEncodedUtf8) {
    const std::string path = server_.addFile("安装包.exe", bytes_.substr(0, 4096));
    CWinDownloader downloader(recorder_.callback(), wide(server_.url(path)),
                              folder_.wideFile("package.exe"));
    downloader.StartDownload();
    ASSERT_TRUE(recorder_.waitFor(DL_CODE_SUCCESS, 1, 20s));

    const std::vector<demo_server::Request> requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/" + demo_server::md5Hex(bytes_.substr(0, 4096)) +
                                    "/%E5%AE%89%E8%A3%85%E5%8C%85.exe");
    EXPECT_TRUE(folder_.read("package.exe") == bytes_.substr(0, 4096));
}

TEST_F(WinDownloaderTest, FileUrlIsUsedAsWritten) {
    // Encoded, the blank would become "+" and the name would no longer match the file.
    const std::string source = folder_.write("本地 包.bin", bytes_.substr(0, 4096));
    CWinDownloader downloader(recorder_.callback(), wide("file://" + source),
                              folder_.wideFile("package.exe"));
    downloader.StartDownload();
    ASSERT_TRUE(recorder_.waitFor(DL_CODE_SUCCESS, 1, 20s));
    EXPECT_TRUE(folder_.read("package.exe") == bytes_.substr(0, 4096));
}

}  // namespace

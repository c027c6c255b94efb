#include "platform/url_download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo_server/package_server.h"
#include "download/served_package.h"

namespace {

using demo_server::PackageServer;

constexpr std::int64_t kFileBytes = 2 * 1024 * 1024 + 17;
constexpr std::uint32_t kSeed = 11;

class UrlDownloadTest : public test_support::ServedPackage {
protected:
    UrlDownloadTest() : ServedPackage(kFileBytes, kSeed) {}
};

TEST_F(UrlDownloadTest, FollowsRedirectAndReportsProgressUpToTheLength) {
    std::uint64_t lastDone = 0;
    std::uint64_t lastTotal = 0;
    bool wentBack = false;
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
        wentBack = wentBack || done < lastDone;
        lastDone = done;
        lastTotal = total;
        return true;
    };
    EXPECT_EQ(platform::downloadUrlToFile(wide(server_.url("/software/327")),
                                          folder_.wideFile("package.exe"), progress),
              platform::kUrlDownloadOk);
    EXPECT_TRUE(folder_.read("package.exe") == bytes_);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"package.exe"});
    EXPECT_EQ(lastDone, static_cast<std::uint64_t>(kFileBytes));
    EXPECT_EQ(lastTotal, static_cast<std::uint64_t>(kFileBytes));
    EXPECT_FALSE(wentBack);
}

TEST_F(UrlDownloadTest, FailuresLeaveTheTargetAsItWasAndAnswerTheirCode) {
    PackageServer stopped;
    ASSERT_TRUE(stopped.start());
    const std::string refusedUrl = stopped.url("/x");
    stopped.stop();

    struct Row {
        const char* name;
        std::string url;
        std::vector<demo_server::Cue> cues;
        std::int32_t expected;
    };
    const std::vector<Row> rows = {
        {"unknown path", server_.url("/nothing/here.exe"), {}, platform::kUrlDownloadHttpError},
        {"error status",
         server_.url(filePath_),
         {demo_server::answerStatus(503)},
         platform::kUrlDownloadHttpError},
        {"dropped mid-file",
         server_.url(filePath_),
         {demo_server::dropAfter(100000)},
         platform::kUrlDownloadBroken},
        {"connection refused", refusedUrl, {}, platform::kUrlDownloadNotFound},
        {"missing local file",
         "file://" + folder_.file("missing.exe"),
         {},
         platform::kUrlDownloadNotFound},
        {"scheme not offered", "ftp://127.0.0.1/x", {}, platform::kUrlDownloadInvalidUrl},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        folder_.write("package.exe", "old");
        server_.setCues(row.cues);
        EXPECT_EQ(platform::downloadUrlToFile(wide(row.url), folder_.wideFile("package.exe"), {}),
                  row.expected);
        EXPECT_EQ(folder_.read("package.exe"), "old");
        EXPECT_EQ(folderEntries(), std::vector<std::string>{"package.exe"});
    }
    EXPECT_EQ(platform::downloadUrlToFile(wide(server_.url(filePath_)), L"", {}),
              platform::kUrlDownloadInvalidPath);
}

TEST_F(UrlDownloadTest, ProgressAnsweringFalseAborts) {
    std::uint64_t calls = 0;
    const auto progress = [&](std::uint64_t done, std::uint64_t) {
        ++calls;
        return done < 100000;
    };
    EXPECT_EQ(platform::downloadUrlToFile(wide(server_.url(filePath_)),
                                          folder_.wideFile("package.exe"), progress),
              platform::kUrlDownloadAborted);
    EXPECT_GT(calls, 0u);
    EXPECT_TRUE(folderEntries().empty());
}

TEST_F(UrlDownloadTest, FileUrlsNameLocalFilesWithBlanksEscapesAndNonAsciiNames) {
    const std::string source = folder_.write("源 文件.bin", bytes_.substr(0, 5000));
    struct Row {
        const char* name;
        std::string url;
        unsigned codePage;
    };
    const std::vector<Row> rows = {
        {"as written", "file://" + source, platform::kCodePageUtf8},
        {"escaped as UTF-8",
         "file://" + folder_.path().string() + "/%E6%BA%90%20%E6%96%87%E4%BB%B6.bin",
         platform::kCodePageUtf8},
        {"host localhost", "file://localhost" + source, platform::kCodePageUtf8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(folder_.file("copy.bin"));
        EXPECT_EQ(platform::downloadUrlToFile(wide(row.url), folder_.wideFile("copy.bin"), {},
                                              {row.codePage}),
                  platform::kUrlDownloadOk);
        EXPECT_TRUE(folder_.read("copy.bin") == bytes_.substr(0, 5000));
    }
}

}  // namespace

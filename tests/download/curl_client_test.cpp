#include "download/curl_client.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "demo_server/package_server.h"
#include "settings/installer_settings.h"
#include "support/temp_folder.h"
#include "usage/app_usage.h"
#include "usage/usage_tracker_wrapper.h"

namespace {

using test_support::TempFolder;

constexpr std::int64_t kMiB = 1048576;
constexpr std::uint32_t kSeed = 7;

std::wstring wide(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

// What the client reported through its sink; filled on the thread that runs Start.
struct Progress {
    std::vector<double> percents;
    CurlClient* cancelOnFirstReport = nullptr;

    static void sink(void* owner, double, double, double percent) {
        auto* progress = static_cast<Progress*>(owner);
        progress->percents.push_back(percent);
        if (progress->cancelOnFirstReport != nullptr) {
            progress->cancelOnFirstReport->Cancel();
        }
    }
};

class CurlClientTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.start()); }

    // A generated package of `size` bytes behind the software link; returns its content.
    std::string addPackage(std::int64_t size) {
        packagePath_ = server_.addGeneratedFile("pkg.bin", size, kSeed);
        server_.setPackage(packagePath_);
        return demo_server::generatedBytes(kSeed, 0, static_cast<std::size_t>(size));
    }
    std::wstring softwareUrl() const { return wide(server_.url("/software/327")); }
    std::wstring target() const { return folder_.wideFile("pkg.bin"); }
    bool exists(const std::string& name) const {
        return std::filesystem::exists(folder_.path() / name);
    }
    std::vector<demo_server::Request> gets() const { return server_.requests("GET"); }

    demo_server::PackageServer server_;
    TempFolder folder_;
    std::string packagePath_;
};

TEST_F(CurlClientTest, RefusesAnythingBelowOneMiBWithoutCreatingAPartFile) {
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"one byte short", server_.addGeneratedFile("short.bin", kMiB - 1, kSeed)},
        {"no such file (unknown length)", "/0123456789abcdef0123456789abcdef/none.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CurlClient client(wide(server_.url(c.path)), target(), nullptr, nullptr);
        EXPECT_EQ(client.Start(), kCurlClientTooSmall);
        EXPECT_FALSE(exists("pkg.bin.part"));
        EXPECT_FALSE(exists("pkg.bin"));
        EXPECT_TRUE(gets().empty());
    }
}

// An earlier attempt's part file is continued from its size; an empty one asks for no range.
// Either way the finished file replaces whatever was at the target and the part file is gone.
TEST_F(CurlClientTest, ResumesFromThePartFileAndReplacesTheTarget) {
    const std::int64_t size = 2 * kMiB + 123;
    const std::string content = addPackage(size);
    const struct {
        const char* name;
        std::int64_t partBytes;  // -1: no part file
        std::string range;
    } cases[] = {
        {"no part file", -1, ""},
        {"empty part file", 0, ""},
        {"part file of N bytes", 1500000, "bytes=1500000-"},
        {"exactly one MiB downloaded", kMiB, "bytes=1048576-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        folder_.write("pkg.bin", "an older package");
        if (c.partBytes >= 0) {
            folder_.write("pkg.bin.part", content.substr(0, static_cast<std::size_t>(c.partBytes)));
        }
        server_.setCues({});
        const std::size_t requestsBefore = server_.requests().size();
        Progress progress;
        CurlClient client(softwareUrl(), target(), &progress, &Progress::sink);

        ASSERT_EQ(client.Start(), 0);

        EXPECT_EQ(client.realUrl(), server_.url(packagePath_));
        EXPECT_TRUE(folder_.read("pkg.bin") == content);
        EXPECT_FALSE(exists("pkg.bin.part"));
        const auto requests = server_.requests();
        ASSERT_GT(requests.size(), requestsBefore);
        EXPECT_EQ(requests.back().method, "GET");
        EXPECT_EQ(requests.back().range, c.range);
        // The bytes already on disk count as done from the first progress step on, which
        // reports before any byte of this attempt arrived.
        if (c.partBytes > 0) {
            ASSERT_FALSE(progress.percents.empty());
            EXPECT_DOUBLE_EQ(progress.percents.front(),
                             100.0 * static_cast<double>(c.partBytes) / static_cast<double>(size));
        }
        for (const double percent : progress.percents) {
            EXPECT_LE(percent, 100.0);
        }
    }
}

TEST_F(CurlClientTest, RepeatedStartReusesTheProbedUrlAndLength) {
    addPackage(kMiB);
    CurlClient client(softwareUrl(), target(), nullptr, nullptr);
    ASSERT_EQ(client.Start(), 0);
    const std::size_t requestsAfterFirst = server_.requests().size();
    ASSERT_EQ(client.Start(), 0);
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), requestsAfterFirst + 1);
    EXPECT_EQ(requests.back().method, "GET");
    EXPECT_EQ(requests.back().path, packagePath_);
}

// A server that ignores the range would send the whole file again: the attempt fails without
// appending it, and the next attempt starts over and gets a correct file.
TEST_F(CurlClientTest, RangeIgnoredOnResumeRestartsThePartFile) {
    const std::string content = addPackage(2 * kMiB);
    folder_.write("pkg.bin.part", content.substr(0, 700000));
    server_.setCues({demo_server::ignoreRange().requests(0, -1)});
    CurlClient client(softwareUrl(), target(), nullptr, nullptr);

    EXPECT_EQ(client.Start(), CURLE_RANGE_ERROR);
    EXPECT_EQ(folder_.read("pkg.bin.part"), "");
    EXPECT_FALSE(exists("pkg.bin"));

    ASSERT_EQ(client.Start(), 0);
    EXPECT_TRUE(folder_.read("pkg.bin") == content);
    EXPECT_FALSE(exists("pkg.bin.part"));
}

TEST_F(CurlClientTest, CancelEndsTheTransferWith42AndKeepsWhatArrived) {
    addPackage(3 * kMiB);
    server_.setCues({demo_server::stallAfter(kMiB, 10000)});
    Progress progress;
    CurlClient client(softwareUrl(), target(), &progress, &Progress::sink);
    progress.cancelOnFirstReport = &client;

    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Start(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
    EXPECT_EQ(progress.percents.size(), 1u);
    EXPECT_TRUE(exists("pkg.bin.part"));
    EXPECT_FALSE(exists("pkg.bin"));
}

TEST_F(CurlClientTest, FailuresOfItsOwnHaveTheirOwnCodes) {
    addPackage(kMiB);
    {
        SCOPED_TRACE("part file folder missing");
        CurlClient client(softwareUrl(), folder_.wideFile("missing/pkg.bin"), nullptr, nullptr);
        EXPECT_EQ(client.Start(), kCurlClientPartFileFailed);
        EXPECT_FALSE(client.errorText().empty());
    }
    {
        SCOPED_TRACE("target cannot be replaced");
        std::filesystem::create_directory(folder_.path() / "pkg.bin");
        folder_.write("pkg.bin/keep", "x");
        CurlClient client(softwareUrl(), target(), nullptr, nullptr);
        EXPECT_EQ(client.Start(), kCurlClientRenameFailed);
    }
}

// Records the analytics tasks the length probe reports; the other kinds are never sent by it.
class TaskRecorder : public pelta::usage::UsageTracker {
public:
    using Tasks = std::vector<std::pair<std::string, std::string>>;
    explicit TaskRecorder(std::shared_ptr<Tasks> tasks) : tasks_(std::move(tasks)) {}

    void trackTask(const pelta::usage::KoEventTask& e,
                   const pelta::usage::KoContextProperties*) override {
        tasks_->emplace_back(e.name, e.reason);
    }
    void trackActivity(const pelta::usage::KoContextProperties*) override {}
    void trackLaunch(const pelta::usage::KoContextProperties*) override {}
    void trackLogin(const pelta::usage::KoUserInfo&, bool, const std::string&,
                    const pelta::usage::KoContextProperties*) override {}
    void trackClick(const pelta::usage::KoEventClick&,
                    const pelta::usage::KoContextProperties*) override {}
    void trackView(const pelta::usage::KoEventView&,
                   const pelta::usage::KoContextProperties*) override {}
    void trackCashier(const pelta::usage::KoEventCashier&,
                      const pelta::usage::KoContextProperties*) override {}
    void trackShare(const pelta::usage::KoEventShare&,
                    const pelta::usage::KoContextProperties*) override {}
    void trackFile(const pelta::usage::KoEventFile&,
                   const pelta::usage::KoContextProperties*) override {}
    void trackOrder(const pelta::usage::KoEventOrder&,
                    const pelta::usage::KoContextProperties*) override {}
    void trackPayment(const pelta::usage::KoEventPayment&,
                      const pelta::usage::KoContextProperties*) override {}
    void trackUninstall(const pelta::usage::KoEventUninstall&,
                        const pelta::usage::KoContextProperties*) override {}
    void trackCrash(const std::string&) override {}
    void trackUpdate(const pelta::usage::KoEventUpdate&,
                     const pelta::usage::KoContextProperties*) override {}
    void trackAppOpenNotification(const pelta::usage::KoAppOpenNotification*,
                                  const pelta::usage::KoContextProperties*) override {}
    void setLocale(const std::string&) override {}
    std::string getPrimaryDistinctId() override { return {}; }
    pelta::usage::TrackLogger* getTrackLogger() override { return nullptr; }

private:
    std::shared_ptr<Tasks> tasks_;
};

// The package server answers every HEAD it knows with a success, so the statuses come from a
// bare server that answers "/status/<code>" with that code.
TEST(CurlClientLengthProbe, ReportsStatusesAbove400ToAnalytics) {
    httplib::Server statusServer;
    statusServer.Get(R"(/status/(\d+))",
                     [](const httplib::Request& request, httplib::Response& response) {
                         response.status = std::stoi(request.matches[1]);
                         response.set_header("Content-Length", "2097152");
                     });
    const int port = statusServer.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread listener([&statusServer] { statusServer.listen_after_bind(); });
    // Bound means listening: requests wait in the backlog until the listener accepts them.

    const bool savedEnabled = g_settings.IsEnableAppUsage;
    g_settings.IsEnableAppUsage = true;
    auto tasks = std::make_shared<TaskRecorder::Tasks>();
    publishProcessTracker(
        std::make_shared<pelta::usage::UsageTrackerWrapper>(std::make_unique<TaskRecorder>(tasks)));

    const struct {
        int status;
        bool reported;
    } cases[] = {{200, false}, {302, false}, {400, false}, {401, true}, {500, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        tasks->clear();
        CurlClient::GetDownloadFileLength_Str("http://127.0.0.1:" + std::to_string(port) +
                                              "/status/" + std::to_string(c.status));
        if (c.reported) {
            ASSERT_EQ(tasks->size(), 1u);
            EXPECT_EQ(tasks->front().first, "下载失败原因");
            EXPECT_EQ(tasks->front().second,
                      "1.获取文件大小的状态码为=" + std::to_string(c.status) + "；");
        } else {
            EXPECT_TRUE(tasks->empty());
        }
    }

    releaseProcessTracker();
    g_settings.IsEnableAppUsage = savedEnabled;
    statusServer.stop();
    listener.join();
}

}  // namespace

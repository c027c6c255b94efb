#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "collector/collector_server.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using nlohmann::json;
using test_support::ChildRun;
using test_support::runProgram;
using test_support::ScopedEnv;
using test_support::TempFolder;

constexpr char kAppName[] = "BrivanoPhotoEditor.downloader";

// What a record says, enough to tell the crash reports from the rest.
std::string describe(const json& record) {
    std::string text = record.value("event", "");
    const json properties = record.value("properties", json::object());
    if (properties.contains("ko_task_name")) {
        text += ":" + properties["ko_task_name"].get<std::string>();
    }
    return text;
}

std::vector<std::string> describeLines(const std::string& text) {
    std::vector<std::string> described;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        described.push_back(describe(json::parse(line)));
    }
    return described;
}

// Real installer processes, one after the other, on one machine: the same data folders, a
// runtime folder of their own for the single-instance lock, and the loopback collector.
class AnalyticsCrashTest : public testing::Test {
protected:
    void SetUp() override {
        chmod(runtime_.path().c_str(), 0700);
        ASSERT_TRUE(collector_.start());
        env_.emplace(EnvValues{
            {"XDG_DATA_HOME", data_.path().string()},
            {"XDG_RUNTIME_DIR", runtime_.path().string()},
            {"BRIVANO_COLLECTOR_URL", collector_.url()},
        });
    }

    ChildRun runInstaller(const std::vector<std::string>& arguments) {
        return runProgram(BRIVANO_ANALYTICS_CRASH_RUN_PATH, arguments);
    }

    std::string stagingText() const {
        const std::string name = std::string(kAppName) + "_KOSStaging.log";
        return data_.read(std::string("KOLocal/") + kAppName + "/" + name);
    }

    std::vector<std::string> delivered() const {
        std::vector<std::string> described;
        for (const std::string& record : collector_.records()) {
            described.push_back(describe(json::parse(record)));
        }
        return described;
    }

    TempFolder data_;
    TempFolder runtime_;
    collector::CollectorServer collector_;
    using EnvValues = std::initializer_list<std::pair<const char*, std::optional<std::string>>>;
    std::optional<ScopedEnv> env_;  // set once the collector has its port
};

TEST_F(AnalyticsCrashTest, CrashReportsWaitInTheStagingFileAndTheNextStartDeliversThem) {
    collector_.failNext(1000, 503);
    const ChildRun crashed = runInstaller({"crash"});
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << crashed.output;
    EXPECT_EQ(WTERMSIG(crashed.status), SIGSEGV);
    EXPECT_EQ(describeLines(stagingText()),
              (std::vector<std::string>{"KoEventTask:崩溃退出", "AppCrashed"}));
    EXPECT_TRUE(collector_.records().empty());

    collector_.failNext(0, 503);
    const ChildRun next = runInstaller({});
    EXPECT_EQ(next.exitCode(), 0) << next.output;
    EXPECT_EQ(delivered(),
              (std::vector<std::string>{"KoEventTask:崩溃退出", "AppCrashed", "KoEventClick"}));
    EXPECT_EQ(stagingText(), "");
}

TEST_F(AnalyticsCrashTest, DisabledOnTheCommandLineNothingIsReported) {
    const ChildRun crashed = runInstaller({"-isenableappusage=false", "crash"});
    ASSERT_TRUE(WIFSIGNALED(crashed.status)) << crashed.output;
    EXPECT_EQ(WTERMSIG(crashed.status), SIGSEGV);
    EXPECT_EQ(stagingText(), "");

    const ChildRun next = runInstaller({"-isenableappusage=false"});
    EXPECT_EQ(next.exitCode(), 0) << next.output;
    EXPECT_EQ(stagingText(), "");
    EXPECT_TRUE(collector_.posts().empty());
}

}  // namespace

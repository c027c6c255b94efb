#include "app/process_entry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/crash_filter.h"
#include "app/single_instance_lock.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using test_support::ChildRun;
using test_support::runInChild;
using test_support::ScopedEnv;
using test_support::TempFolder;

// Every test gets a runtime folder of its own, so the single-instance lock is never shared with
// an installer that runs on this machine, nor between test runs.
class ProcessEntryTest : public ::testing::Test {
protected:
    void SetUp() override { chmod(runtime_.path().c_str(), 0700); }

    // Seams that write down each step they are asked to run.
    EntrySeams recordingSeams() {
        return EntrySeams{
            .appUsageInit =
                [this] {
                    steps_.push_back("AppUsageInit");
                    suffixAtInit_ = settings_.DlAppNameSuffix;
                },
            .appUsageShutdown = [this] { steps_.push_back("AppUsageShutdown"); },
            .trackTask = [this](const std::wstring&) { steps_.push_back("task"); },
            .trackCrash = [this] { steps_.push_back("crash"); },
            .prepareToolkit = [this] { steps_.push_back("toolkit"); },
            .runMainWindow = [this] { steps_.push_back("window"); },
            .destroyMainWindow = [this] { steps_.push_back("destroy"); },
        };
    }

    TempFolder runtime_;
    // The installer program started here keeps its analytics files there, not in the home folder.
    TempFolder data_;
    ScopedEnv runtimeEnv_{{"XDG_RUNTIME_DIR", runtime_.path()}, {"XDG_DATA_HOME", data_.path()}};
    TempFolder exeFolder_;
    InstallerSettings settings_{exeFolder_.wideFile("brivano-setup")};
    std::vector<std::string> steps_;
    std::wstring suffixAtInit_;
};

TEST_F(ProcessEntryTest, RunsTheStepsInOrderAndReturnsZero) {
    EXPECT_EQ(runInstallerProcess(settings_, {L"brivano-setup"}, recordingSeams()), 0);
    const std::vector<std::string> expected = {"AppUsageInit", "toolkit", "window",
                                               "AppUsageShutdown", "destroy"};
    EXPECT_EQ(steps_, expected);
    EXPECT_TRUE(settings_.IsCurlReady);
}

TEST_F(ProcessEntryTest, AnalyticsStartsBeforeTheCommandLineAndDisabledSkipsShutdown) {
    const int code = runInstallerProcess(
        settings_, {L"brivano-setup", L"-isenableappusage=false", L"-dlappnamesuffix=.x"},
        recordingSeams());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(suffixAtInit_, L".downloader");
    EXPECT_EQ(settings_.DlAppNameSuffix, L".x");
    const std::vector<std::string> expected = {"AppUsageInit", "toolkit", "window", "destroy"};
    EXPECT_EQ(steps_, expected);
}

TEST_F(ProcessEntryTest, SecondInstanceEndsAtOnceWithoutStartingAnything) {
    SingleInstanceLock first(kInstallerLockBaseName);
    ASSERT_TRUE(first.Acquire());
    EXPECT_EQ(runInstallerProcess(settings_, {L"brivano-setup"}, recordingSeams()),
              kExitAnotherInstance);
    EXPECT_TRUE(steps_.empty());
    // Once the first one is gone, the next start runs.
    first.Release();
    EXPECT_EQ(runInstallerProcess(settings_, {L"brivano-setup"}, recordingSeams()), 0);
}

// Runs the real installer program; what it printed on stdout and stderr is the output.
ChildRun runSetupProgram() {
    return runInChild([](int out) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execl(BRIVANO_SETUP_PATH, BRIVANO_SETUP_PATH, static_cast<char*>(nullptr));
        return 127;
    });
}

TEST_F(ProcessEntryTest, SecondInstallerProcessExitsWithMinusOneAndShowsNothing) {
    SingleInstanceLock first(kInstallerLockBaseName);
    ASSERT_TRUE(first.Acquire());
    const ChildRun second = runSetupProgram();
    EXPECT_EQ(second.exitCode(), 255);
    EXPECT_EQ(second.output, "");

    first.Release();
    EXPECT_EQ(runSetupProgram().exitCode(), 0);
}

TEST(CrashFilter, ReportsTheCrashOnceThenDiesOfTheSignal) {
    const ChildRun run = runInChild([](int out) {
        EntrySeams seams;
        seams.trackTask = [out](const std::wstring& name) {
            const char* text = name == L"崩溃退出" ? "task;" : "other task;";
            (void)!write(out, text, strlen(text));
        };
        seams.trackCrash = [out] { (void)!write(out, "crash;", 6); };
        installCrashFilter(seams);
        raise(SIGSEGV);
        return 0;
    });
    EXPECT_EQ(run.output, "task;crash;");
    ASSERT_TRUE(WIFSIGNALED(run.status));
    EXPECT_EQ(WTERMSIG(run.status), SIGSEGV);
}

}  // namespace

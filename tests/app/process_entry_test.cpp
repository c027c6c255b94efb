#include "app/process_entry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/crash_filter.h"
#include "app/single_instance_lock.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

using test_support::TempFolder;

// Every test gets a runtime folder of its own, so the single-instance lock is never shared with
// an installer that runs on this machine, nor between test runs.
class ProcessEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        chmod(runtime_.path().c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    }

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

// Runs the real installer program and returns its exit status and what it printed.
struct ProgramResult {
    int exitCode = -1;
    std::string output;
};

ProgramResult runSetupProgram() {
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char program[] = BRIVANO_SETUP_PATH;
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    ProgramResult result;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST_F(ProcessEntryTest, SecondInstallerProcessExitsWithMinusOneAndShowsNothing) {
    SingleInstanceLock first(kInstallerLockBaseName);
    ASSERT_TRUE(first.Acquire());
    const ProgramResult second = runSetupProgram();
    EXPECT_EQ(second.exitCode, 255);
    EXPECT_EQ(second.output, "");

    first.Release();
    EXPECT_EQ(runSetupProgram().exitCode, 0);
}

TEST(CrashFilter, ReportsTheCrashOnceThenDiesOfTheSignal) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        close(pipeFds[0]);
        const int out = pipeFds[1];
        EntrySeams seams;
        seams.trackTask = [out](const std::wstring& name) {
            const char* text = name == L"崩溃退出" ? "task;" : "other task;";
            (void)!write(out, text, strlen(text));
        };
        seams.trackCrash = [out] { (void)!write(out, "crash;", 6); };
        installCrashFilter(seams);
        raise(SIGSEGV);
        _exit(0);
    }
    close(pipeFds[1]);
    std::string reports;
    char buffer[64];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        reports.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(reports, "task;crash;");
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
}

}  // namespace

#include "install/installer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "download/pipeline_recorder.h"
#include "install/install_codes.h"
#include "install/package_fixtures.h"

namespace {

using test_support::Event;
using test_support::packageFixture;
using test_support::PipelineRecorder;
using Clock = std::chrono::steady_clock;

TEST(InstallCommandLine, PlacesFlagsExtraCommandAndFolder) {
    const std::wstring start = LR"("/tmp/p.exe" /S -console=show -version=1.0.0)";
    struct Case {
        const char* name;
        std::wstring folder;
        InstallFlags flags;
        std::wstring instCmd;
        std::wstring expected;
    };
    const Case cases[] = {
        {"DefaultInstallation",
         L"/opt/D",
         {true, true, true, true},
         L"",
         start + LR"( -adminact=true -authorizationact=true -dsc=true -ssc=true)"
                 LR"( -instdir="/opt/D" /D=/opt/D)"},
        {"BlanksInFolder",
         L"/home/a b/My App",
         {},
         L"",
         start + LR"( -adminact=false -authorizationact=true -dsc=false -ssc=false)"
                 LR"( -instdir="/home/a b/My App" /D=/home/a b/My App)"},
        {"EmptyFolderWritesNeither",
         L"",
         {false, true, false, false},
         L"",
         start + L" -adminact=false -authorizationact=false -dsc=false -ssc=true"},
        {"ExtraCommandBeforeFolder",
         L"/opt/D",
         {true, false, false, true},
         L"-silent -lang=zh",
         start + LR"( -adminact=false -authorizationact=true -dsc=true -ssc=false -silent -lang=zh)"
                 LR"( -instdir="/opt/D" /D=/opt/D)"},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(buildInstallCommandLine(L"\"/tmp/p.exe\"", row.folder, row.flags, row.instCmd),
                  row.expected)
            << row.name;
    }
}

// Runs the package to its end (the runner's destruction waits for its worker).
std::vector<Event> runPackage(const std::wstring& package, const std::wstring& folder = L"",
                              InstallFlags flags = {}) {
    PipelineRecorder recorder;
    {
        CInstaller installer(recorder.callback(), package, folder);
        installer.SetFlags(flags);
        installer.Start();
    }
    return recorder.events();
}

const Event kStart{IST_CODE_START, 0.0, L""};
const Event kFirstProgress{IST_CODE_PROGRESS, 0.0, L""};

TEST(CInstaller, ReportsWhatThePackageSays) {
    struct Case {
        const char* fixture;
        std::vector<Event> expected;
    };
    const Case cases[] = {
        {"silent.sh", {kStart, kFirstProgress, {INSTALL_SUCCESS, 1.0, L""}}},
        {"success.sh",
         {kStart,
          kFirstProgress,
          {IST_CODE_PROGRESS, 0.5, L""},
          {IST_CODE_INST_PATH, 0.0, L"/opt/Brivano"},
          {INSTALL_SUCCESS, 0.0, L""}}},
        {"fail.sh",
         {kStart,
          kFirstProgress,
          {IST_CODE_PROGRESS, 0.25, L""},
          {IST_CODE_FAIL, 0.0, L"安装包安装失败"}}},
        // The line arrives in two reads and is parsed once, whole.
        {"split_line.sh", {kStart, kFirstProgress, {IST_CODE_FAIL, 0.0, L"安装包安装失败"}}},
        // The switch to GBK applies from the next read on.
        {"gbk_text.sh",
         {kStart,
          kFirstProgress,
          {IST_CODE_INST_PATH, 0.0, L"/opt/中文"},
          {INSTALL_SUCCESS, 1.0, L""}}},
        // What follows the final state is drained, not parsed, and never blocks the package.
        {"chatty_after_state.sh", {kStart, kFirstProgress, {INSTALL_SUCCESS, 0.0, L""}}},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(runPackage(packageFixture(row.fixture)), row.expected) << row.fixture;
    }
}

TEST(CInstaller, TakesThePackagePathQuotedOrBare) {
    const std::vector<Event> expected{kStart,
                                      kFirstProgress,
                                      {IST_CODE_PROGRESS, 0.25, L""},
                                      {IST_CODE_FAIL, 0.0, L"安装包安装失败"}};
    EXPECT_EQ(runPackage(L"\"" + packageFixture("fail.sh") + L"\""), expected);
    EXPECT_EQ(runPackage(packageFixture("fail.sh")), expected);
}

TEST(CInstaller, PassesTheFolderAsTheLastArgumentBlanksIncluded) {
    const std::vector<Event> events = runPackage(packageFixture("echo_arguments.sh"),
                                                 L"/home/a b/My App", {true, false, true, true});
    std::vector<std::wstring> arguments;
    for (const Event& event : events) {
        if (event.code == IST_CODE_MESSAGE) {
            arguments.push_back(event.text);
        }
    }
    EXPECT_EQ(arguments, (std::vector<std::wstring>{
                             L"/S", L"-console=show", L"-version=1.0.0", L"-adminact=true",
                             L"-authorizationact=true", L"-dsc=true", L"-ssc=false",
                             L"-instdir=/home/a b/My App", L"/D=/home/a b/My App"}));
    EXPECT_EQ(events.back(), (Event{INSTALL_SUCCESS, 1.0, L""}));
}

TEST(CInstaller, ReportsAPackageThatCannotBeStarted) {
    const std::vector<Event> expected{kStart, kFirstProgress, {IST_CODE_FAIL, 2.0, L""}};
    EXPECT_EQ(runPackage(L"/nonexistent/__Package_BrivanoPhotoEditor.exe"), expected);
    // A command line that does not fit is refused, not cut.
    const std::wstring longFolder = L"/tmp/" + std::wstring(1000, L'x');
    EXPECT_EQ(runPackage(packageFixture("silent.sh"), longFolder), expected);
}

TEST(CInstaller, SendsTheFinalStateAtOnceAndEndsWithThePackage) {
    PipelineRecorder recorder;
    const Clock::time_point started = Clock::now();
    {
        CInstaller installer(recorder.callback(), packageFixture("success_then_sleep.sh"), L"");
        installer.Start();
        // The package is still asleep when its outcome is reported.
        EXPECT_TRUE(recorder.waitFor(INSTALL_SUCCESS, 1, std::chrono::milliseconds(1500)));
    }
    const auto took = Clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(1500));
    EXPECT_LT(took, std::chrono::seconds(6));
    EXPECT_EQ(recorder.events(),
              (std::vector<Event>{kStart, kFirstProgress, {INSTALL_SUCCESS, 0.0, L""}}));
}

TEST(CInstaller, WaitsWithoutSpinningForAPackageThatClosedItsOutput) {
    const std::clock_t cpuBefore = std::clock();
    const Clock::time_point started = Clock::now();
    EXPECT_EQ(runPackage(packageFixture("closes_output.sh")),
              (std::vector<Event>{kStart, kFirstProgress, {INSTALL_SUCCESS, 1.0, L""}}));
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(900));
    // A second of reading a closed pipe would cost about a second of processor time.
    EXPECT_LT(static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.3);
}

TEST(CInstaller, DoesNotWaitForAGrandchildHoldingTheOutput) {
    const Clock::time_point started = Clock::now();
    EXPECT_EQ(
        runPackage(packageFixture("leaves_grandchild.sh")),
        (std::vector<Event>{
            kStart, kFirstProgress, {IST_CODE_PROGRESS, 1.0, L""}, {INSTALL_SUCCESS, 1.0, L""}}));
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
}

TEST(CInstaller, RunsAgainOnTheSameRunner) {
    PipelineRecorder recorder;
    {
        CInstaller installer(recorder.callback(), packageFixture("silent.sh"), L"");
        installer.Start();
        installer.Start();
    }
    const Event success{INSTALL_SUCCESS, 1.0, L""};
    EXPECT_EQ(recorder.events(), (std::vector<Event>{kStart, kFirstProgress, success, kStart,
                                                     kFirstProgress, success}));
}

}  // namespace

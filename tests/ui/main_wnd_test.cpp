#include "ui/main_wnd.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "collector/collector_server.h"
#include "demo_server/package_server.h"
#include "download/download_codes.h"
#include "install/install_codes.h"
#include "install/package_fixtures.h"
#include "platform/text_encoding.h"
#include "settings/installer_settings.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/wait.h"
#include "toolkit/check_box.h"
#include "toolkit/edit.h"
#include "toolkit/headless_host.h"
#include "toolkit/progress.h"
#include "toolkit/tab_layout.h"
#include "ui/installer_environment.h"
#include "ui/message_box_wnd.h"
#include "ui/pipeline_event.h"
#include "usage/app_usage_lifecycle.h"
#include "utils/install_records.h"
#include "utils/system_probes.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using SkinUI::HeadlessHost;
using ui_test::PromptAnswer;
using ui_test::PromptAnswerer;
using ui_test::SeenPrompt;

constexpr char kDemoPackage[] = BRIVANO_DEMO_PACKAGE_PATH;
constexpr char kPackageName[] = "__Package_BrivanoPhotoEditor.exe";
constexpr wchar_t kProductFolder[] = L"BrivanoPhotoEditor";
constexpr wchar_t kProductExe[] = L"BrivanoPhotoEditor.exe";
constexpr std::uint64_t kGigabyte = 1'073'741'824;
constexpr wchar_t kRunningText[] = L"安装程序检测到Brivano\r\n正在运行，请退出程序后再安装";
constexpr wchar_t kTipCaption[] = L"温馨提示";
constexpr wchar_t kLowSpaceText[] = L"当前磁盘剩余空间低于1GB，请修改安装路径";
constexpr wchar_t kPoorNetworkText[] = L"当前网络环境较差，请在网络通畅时进行安装";
constexpr wchar_t kInvalidPathText[] = L"无效路径";
constexpr int kClosedResult = 1;

std::string utf8(const std::wstring& text) {
    return platform::utf8FromWide(text);
}

std::wstring wide(const fs::path& path) {
    return path.wstring();
}

std::wstring progressText(int percent) {
    return L"正在安装中:" + std::to_wstring(percent) + L"%，请稍候...";
}

bool isInside(const std::wstring& path, const fs::path& folder) {
    return path.starts_with(wide(folder) + L"/");
}

int page(const CMainWnd& window) {
    return window.findControl<SkinUI::TabLayout>(L"mainTabLt")->currentSel();
}

const SkinUI::Control& control(const CMainWnd& window, std::wstring_view name) {
    const SkinUI::Control* found = window.findControl(name);
    EXPECT_NE(found, nullptr) << utf8(std::wstring(name));
    static const SkinUI::Control kMissing;
    return found != nullptr ? *found : kMissing;
}

bool selected(const CMainWnd& window, std::wstring_view name) {
    const auto* box = window.findControl<SkinUI::CheckBox>(name);
    return box != nullptr && box->isSelected();
}

int barValue(const CMainWnd& window) {
    return window.findControl<SkinUI::Progress>(L"installPrg")->value();
}

void post(CMainWnd& window, std::int32_t code, double value = 0.0, std::wstring text = L"") {
    window.postMessage(WM_PIPELINE_EVENT, 0, 0,
                       std::make_unique<PipelineEventRecord>(code, value, std::move(text)));
}

// What each page shows around its content.
void expectPageDressing(const CMainWnd& window, int expectedPage) {
    static const wchar_t* const kBackgrounds[] = {
        LR"(res\mainWnd\bg1.png)", LR"(res\mainWnd\bg2.png)", LR"(res\mainWnd\bg3.png)",
        LR"(res\mainWnd\bg4.png)"};
    SCOPED_TRACE("page " + std::to_string(expectedPage));
    ASSERT_EQ(page(window), expectedPage);
    EXPECT_EQ(control(window, L"winCtn").bkImage(), kBackgrounds[expectedPage]);
    EXPECT_EQ(control(window, L"titleGrpCtn").isVisible(),
              expectedPage != CMainWnd::kInstallingPage);
    EXPECT_EQ(control(window, L"backBtn").isVisible(), expectedPage == CMainWnd::kCustomPage);
    if (expectedPage != CMainWnd::kInstallingPage) {
        EXPECT_EQ(window.findControl<SkinUI::TabLayout>(L"titleTabLt")->currentSel(),
                  expectedPage == CMainWnd::kFinishedPage ? 2 : 1);
    }
}

std::vector<std::wstring> layouts(const std::vector<SeenPrompt>& seen) {
    std::vector<std::wstring> names;
    for (const SeenPrompt& prompt : seen) {
        names.push_back(prompt.layout);
    }
    return names;
}

// A program running under one of the product's process names: a copy of sleep, stopped and
// reaped when the object goes.
class RunningProgram {
public:
    RunningProgram(const fs::path& folder, const std::string& name) {
        const fs::path copy = folder / name;
        fs::copy_file("/bin/sleep", copy, fs::copy_options::overwrite_existing);
        const std::string program = copy.string();
        char seconds[] = "30";
        char* argv[] = {const_cast<char*>(program.c_str()), seconds, nullptr};
        if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
    }
    ~RunningProgram() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// The main window on a machine of the test's own, with the desktop, the network and the disk
// answered by the test: nothing is ever opened, only recorded.
class MainWindowTest : public testing::Test {
protected:
    MainWndServices services() {
        MainWndServices given;
        given.shellOpen = [this](const platform::ShellOpenRequest& request) {
            opened_.push_back(request);
            return true;
        };
        given.networkProbe = [this] { return network_; };
        given.freeBytes = [this](const std::wstring&) { return freeBytes_; };
        return given;
    }

    // The window refuses to install while a program of the product's names runs anywhere on the
    // machine, and other test programs run such programs for moments; a scenario that expects no
    // refusal starts once none runs.
    static void waitUntilNoProductRuns() {
        constexpr auto kLimitSec = std::chrono::seconds(30);
        test_support::waitUntil(kLimitSec, [] {
            return Utils::FindProcessId(kProductExe) == 0 &&
                   Utils::FindProcessId(L"BrivanoPhotoEditor_un_asa.exe") == 0;
        });
    }

    // Created, centred and shown as the process entry does it.
    std::unique_ptr<CMainWnd> openWindow() {
        waitUntilNoProductRuns();
        auto window = std::make_unique<CMainWnd>(host_, services());
        EXPECT_TRUE(window->createFrame());
        window->centre();
        window->show();
        return window;
    }

    // Runs the window's loop until `done` holds, the window is gone, or nothing arrived within
    // the host's stall limit.
    bool runUntil(const CMainWnd& window, const std::function<bool()>& done) {
        host_.runLoop([&] { return window.isAlive() && !done(); });
        return done();
    }

    // An earlier installation in the records: the folder, with the given program as its
    // uninstall data file.
    fs::path recordInstallation(const std::string& uninstallerFixture) {
        const fs::path folder = env_.path() / "Old Brivano";
        fs::create_directories(folder);
        fs::copy_file(fs::path(test_support::packageFixture(uninstallerFixture)),
                      folder / "uninst.ep", fs::copy_options::overwrite_existing);
        Utils::InstallRecordPaths paths;
        paths.installDir = wide(folder);
        paths.uninstallerPath = wide(folder / "uninst.ep");
        Utils::WriteInstallRecords(paths);
        return folder;
    }

    // Empties the registry store, where the records are.
    void forgetInstallations() {
        fs::remove_all(env_.path() / "home/.config");
        fs::create_directories(env_.path() / "home/.config");
    }

    static Utils::InstallRecordPaths recorded() {
        Utils::InstallRecordPaths paths;
        Utils::ReadInstallRecords(paths);
        return paths;
    }

    ui_test::InstallerEnvironment env_;
    HeadlessHost host_;
    std::vector<platform::ShellOpenRequest> opened_;
    std::optional<platform::NetworkState> network_ =
        platform::NetworkState{platform::kConnectivityIpv4Internet, true};
    std::optional<std::uint64_t> freeBytes_ = 100 * kGigabyte;
};

// The demo package behind a loopback package server, for the installations that run the whole
// pipeline.
class MainWindowInstallTest : public MainWindowTest {
protected:
    void SetUp() override {
        const std::string packageFile = env_.temp().file(kPackageName);
        const test_support::ChildRun written =
            test_support::runProgram(kDemoPackage, {"--write=" + packageFile});
        ASSERT_EQ(written.exitCode(), 0) << written.output;
        ASSERT_TRUE(server_.start());
        const std::string path = server_.addDiskFile(kPackageName, packageFile);
        ASSERT_FALSE(path.empty());
        server_.setPackage(path);
        g_settings.SetDownloadUrl(platform::wideFromUtf8(server_.url("/software/327")));
    }

    // Clicks the install button of the page and waits for the installing page and then for the
    // finished one; close requests in between are ignored.
    void installFrom(CMainWnd& window, const wchar_t* button) {
        ASSERT_TRUE(host_.click(window, button));
        host_.dispatchPending();
        expectPageDressing(window, CMainWnd::kInstallingPage);
        window.close(kClosedResult);
        host_.dispatchPending();
        EXPECT_TRUE(window.isAlive()) << "a close request while installing";
        EXPECT_FALSE(host_.click(window, L"closebtn"));
        ASSERT_TRUE(runUntil(window, [&] { return page(window) == CMainWnd::kFinishedPage; }))
            << "stalled: " << host_.stalled();
        expectPageDressing(window, CMainWnd::kFinishedPage);
        EXPECT_EQ(barValue(window), 100);
        EXPECT_EQ(window.installState(), CMainWnd::kFinished);
    }

    // The product, its uninstall data file and set.ini in the folder, the package gone, and the
    // folder in the records.
    void expectInstalledIn(const fs::path& folder) {
        EXPECT_TRUE(fs::exists(folder / kProductExe)) << folder;
        EXPECT_TRUE(fs::exists(folder / "uninst.ep"));
        EXPECT_TRUE(fs::exists(folder / "set.ini"));
        EXPECT_FALSE(fs::exists(folder / kPackageName));
        const Utils::InstallRecordPaths paths = recorded();
        EXPECT_EQ(paths.recordedInstallPath, wide(folder));
        EXPECT_EQ(paths.recordedUninstallPath, wide(folder / "uninst.ep"));
    }

    demo_server::PackageServer server_;
};

// The agreement tick: unticked, the quick install button only shows the bubble and the custom
// install link is disabled; the licence link opens the terms and always mirrors the tick.
TEST_F(MainWindowTest, AgreementTickGovernsTheInstallButtons) {
    const auto window = openWindow();
    EXPECT_EQ(page(*window), CMainWnd::kQuickPage);
    EXPECT_EQ(control(*window, L"winCtn").bkImage(), LR"(res\mainWnd\bg1.png)");
    EXPECT_TRUE(selected(*window, L"treatyCb"));
    EXPECT_TRUE(selected(*window, L"treatyBtn"));
    EXPECT_TRUE(control(*window, L"customeBtn").isEnabled());
    EXPECT_FALSE(control(*window, L"tipLbl").isVisible());

    ASSERT_TRUE(host_.click(*window, L"treatyCb"));
    EXPECT_FALSE(selected(*window, L"treatyCb"));
    EXPECT_FALSE(selected(*window, L"treatyBtn"));
    EXPECT_FALSE(control(*window, L"customeBtn").isEnabled());
    ASSERT_TRUE(host_.click(*window, L"defaultInstallBtn"));
    host_.dispatchPending();
    EXPECT_TRUE(control(*window, L"tipLbl").isVisible());
    EXPECT_EQ(page(*window), CMainWnd::kQuickPage);
    host_.click(*window, L"customeBtn");
    host_.dispatchPending();
    EXPECT_EQ(page(*window), CMainWnd::kQuickPage);

    ASSERT_TRUE(host_.click(*window, L"treatyBtn"));
    EXPECT_FALSE(selected(*window, L"treatyBtn")) << "the link does not agree";
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].verb, L"open");
    EXPECT_TRUE(opened_[0].target.ends_with(L"/terms")) << utf8(opened_[0].target);
    EXPECT_EQ(opened_[0].show, platform::ShowCommand::Maximized);

    ASSERT_TRUE(host_.click(*window, L"treatyCb"));
    EXPECT_TRUE(selected(*window, L"treatyBtn"));
    EXPECT_TRUE(control(*window, L"customeBtn").isEnabled());
    EXPECT_FALSE(control(*window, L"tipLbl").isVisible());
    ASSERT_TRUE(host_.click(*window, L"treatyBtn"));
    EXPECT_TRUE(selected(*window, L"treatyBtn")) << "the link does not withdraw the agreement";
    EXPECT_TRUE(selected(*window, L"treatyCb"));

    ASSERT_TRUE(host_.click(*window, L"customeBtn"));
    expectPageDressing(*window, CMainWnd::kCustomPage);
    EXPECT_TRUE(control(*window, L"customeInstallBtn").isFocused());
    ASSERT_TRUE(host_.click(*window, L"backBtn"));
    expectPageDressing(*window, CMainWnd::kQuickPage);
    EXPECT_FALSE(fs::exists(window->GetDefaultInstallDir())) << "nothing was installed";
    EXPECT_FALSE(host_.stalled());
}

// The default folder lies in the user's own folders; a folder typed or chosen gets the product
// folder appended, with backslashes turned into the platform separator, unless it is the
// default folder itself.
TEST_F(MainWindowTest, CustomFolderGetsTheProductFolderAppended) {
    const auto window = openWindow();
    const std::wstring defaultDir = window->GetDefaultInstallDir();
    EXPECT_TRUE(isInside(defaultDir, env_.path())) << utf8(defaultDir);
    EXPECT_TRUE(defaultDir.ends_with(std::wstring(L"/") + kProductFolder)) << utf8(defaultDir);
    EXPECT_EQ(control(*window, L"installDirEdit").text(), defaultDir);
    EXPECT_EQ(window->GetCustomInstallDir(), defaultDir);

    const std::wstring base = wide(env_.path());
    const struct {
        const char* name;
        std::wstring typed;
        std::wstring expected;
    } cases[] = {
        {"the default folder", defaultDir, defaultDir},
        {"the default folder with a trailing separator", defaultDir + L"/", defaultDir},
        {"another folder", base + L"/Apps", base + L"/Apps/" + kProductFolder},
        {"backslashes", base + L"\\My Apps\\Photo", base + L"/My Apps/Photo/" + kProductFolder},
        {"already ending in the product folder", base + L"/Apps/" + kProductFolder,
         base + L"/Apps/" + kProductFolder + L"/" + kProductFolder},
    };
    auto* edit = window->findControl<SkinUI::Edit>(L"installDirEdit");
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(host_.click(*window, L"customeBtn"));
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        edit->setText(L"");
        ASSERT_TRUE(host_.click(*window, L"installDirEdit"));
        host_.typeText(*window, row.typed);
        EXPECT_EQ(edit->text(), row.typed);
        EXPECT_EQ(window->GetCustomInstallDir(), row.expected);
    }

    // A folder chosen in the browser is shown as it was chosen.
    host_.setFolderAnswer(base + L"/Chosen");
    ASSERT_TRUE(host_.click(*window, L"chDirBtn"));
    EXPECT_EQ(host_.folderRequests(), std::vector<std::wstring>{L"选择一个文件夹"});
    EXPECT_EQ(edit->text(), base + L"/Chosen");
    EXPECT_EQ(window->GetCustomInstallDir(), base + L"/Chosen/" + kProductFolder);
}

// Exactly 1.0 GB free is enough; less, or a disk that cannot be asked, is refused with the
// low-space prompt, as is a folder that cannot be created. A refusal leaves the page as it was
// and the custom install button enabled.
TEST_F(MainWindowTest, InstallNeedsOneGigabyteAndAFolderThatCanBeMade) {
    const fs::path blocker = env_.path() / "a file";
    env_.temp().write("a file", "not a folder");
    const struct {
        const char* name;
        std::optional<std::uint64_t> freeBytes;
        std::wstring folder;
        std::optional<std::wstring> prompt;  // none: handed to the pipeline
        bool folderMade;
    } cases[] = {
        {"exactly 1.0 GB", kGigabyte, wide(env_.path() / "exact"), std::nullopt, true},
        {"one byte less", kGigabyte - 1, wide(env_.path() / "short"), kLowSpaceText, true},
        {"0.99 GB", static_cast<std::uint64_t>(0.99 * kGigabyte), wide(env_.path() / "short"),
         kLowSpaceText, true},
        {"unknown", std::nullopt, wide(env_.path() / "unknown"), kLowSpaceText, true},
        {"below a file", 100 * kGigabyte, wide(blocker / "sub"), kInvalidPathText, false},
        {"longer than 260", 100 * kGigabyte, wide(env_.path() / std::string(270, 'x')),
         kInvalidPathText, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        freeBytes_ = row.freeBytes;
        const auto window = openWindow();
        ASSERT_TRUE(host_.click(*window, L"customeBtn"));
        std::vector<PromptAnswer> answers;
        if (row.prompt) {
            answers.push_back({L"closebtn", {}});
        }
        const PromptAnswerer answerer(host_, answers);
        EXPECT_EQ(window->StartInstall(row.folder, true, true), !row.prompt.has_value());
        if (row.prompt) {
            ASSERT_EQ(answerer.seen().size(), 1u);
            EXPECT_EQ(answerer.seen()[0].layout, kMessageBox2Wnd);
            EXPECT_EQ(answerer.seen()[0].text, *row.prompt);
            EXPECT_EQ(answerer.seen()[0].caption, kTipCaption);
        }
        EXPECT_EQ(page(*window), CMainWnd::kCustomPage);
        EXPECT_EQ(control(*window, L"customeInstallBtn").isEnabled(), row.prompt.has_value())
            << "disabled only while handed over";
        std::error_code error;
        EXPECT_EQ(fs::is_directory(row.folder, error), row.folderMade);
        EXPECT_FALSE(host_.stalled());
    }
}

// With the network check on, a poor network is reported and nothing starts.
TEST_F(MainWindowTest, PoorNetworkStopsTheInstallation) {
    g_settings.IsCheckNet = true;
    network_ = platform::NetworkState{platform::kConnectivityDisconnected, false};
    const auto window = openWindow();
    const PromptAnswerer answerer(host_, {{L"closebtn", {}}});
    ASSERT_TRUE(host_.click(*window, L"defaultInstallBtn"));
    host_.runLoop([&] { return !answerer.allAnswered(); });
    host_.dispatchPending();
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].layout, kMessageBox2Wnd);
    EXPECT_EQ(answerer.seen()[0].text, kPoorNetworkText);
    EXPECT_EQ(answerer.seen()[0].caption, kTipCaption);
    EXPECT_EQ(page(*window), CMainWnd::kQuickPage);
    EXPECT_TRUE(control(*window, L"customeInstallBtn").isEnabled());
    EXPECT_FALSE(host_.stalled());
}

// The close button asks first on the quick and custom pages and closes only on "是"; the
// system's close request closes at once.
TEST_F(MainWindowTest, CloseButtonAsksBeforeClosing) {
    const struct {
        const char* name;
        int onPage;
        const wchar_t* answer;  // nullptr: the system's close request instead of the button
        bool closes;
    } cases[] = {
        {"quick page, 否", CMainWnd::kQuickPage, L"cancelBtn", false},
        {"quick page, prompt closed", CMainWnd::kQuickPage, L"closebtn", false},
        {"quick page, Alt+F4 on the prompt", CMainWnd::kQuickPage, L"", false},
        {"quick page, 是", CMainWnd::kQuickPage, L"okBtn", true},
        {"custom page, 否", CMainWnd::kCustomPage, L"cancelBtn", false},
        {"custom page, 是", CMainWnd::kCustomPage, L"okBtn", true},
        {"quick page, system close", CMainWnd::kQuickPage, nullptr, true},
    };
    {
        SCOPED_TRACE("the minimise button only minimises");
        const auto window = openWindow();
        ASSERT_TRUE(host_.click(*window, L"minbtn"));
        host_.dispatchPending();
        EXPECT_EQ(host_.minimizeCount(), 1);
        EXPECT_TRUE(window->isAlive());
    }
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto window = openWindow();
        if (row.onPage == CMainWnd::kCustomPage) {
            ASSERT_TRUE(host_.click(*window, L"customeBtn"));
        }
        if (row.answer == nullptr) {
            window->close(kClosedResult);
            host_.dispatchPending();
        } else {
            const PromptAnswerer answerer(host_, {{row.answer, {}}});
            ASSERT_TRUE(host_.click(*window, L"closebtn"));
            host_.dispatchPending();
            EXPECT_EQ(layouts(answerer.seen()), std::vector<std::wstring>{kExitTipWnd});
        }
        EXPECT_EQ(window->isAlive(), !row.closes);
        if (row.closes) {
            EXPECT_EQ(window->result(), kClosedResult);
        } else {
            EXPECT_EQ(page(*window), row.onPage);
        }
        EXPECT_FALSE(host_.stalled());
    }
}

// Download progress fills the bar up to the download's share; each install step adds 0.15 of the
// rest up to 0.95, or jumps to the package's own figure when that is higher.
TEST_F(MainWindowTest, ProgressTextsAndBar) {
    const auto window = openWindow();
    const struct {
        std::int32_t code;
        double value;
        int percent;
    } steps[] = {
        {DL_CODE_PROGRESS, 0.5, 35},  {DL_CODE_PROGRESS, 1.0, 70},  {IST_CODE_PROGRESS, 0.0, 74},
        {IST_CODE_PROGRESS, 0.0, 78}, {IST_CODE_PROGRESS, 0.0, 83}, {IST_CODE_PROGRESS, 0.0, 88},
        {IST_CODE_PROGRESS, 0.0, 92}, {IST_CODE_PROGRESS, 0.0, 97}, {IST_CODE_PROGRESS, 0.0, 98},
        {IST_CODE_PROGRESS, 0.0, 98},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.code) + " " + std::to_string(step.value));
        post(*window, step.code, step.value);
        host_.dispatchPending();
        EXPECT_EQ(control(*window, L"progressLb").text(), progressText(step.percent));
        EXPECT_EQ(barValue(*window), step.percent);
    }

    // A figure from the package above the steps is taken as it is.
    const auto jumping = openWindow();
    post(*jumping, IST_CODE_PROGRESS, 0.5);
    host_.dispatchPending();
    EXPECT_EQ(barValue(*jumping), 85);
    post(*jumping, IST_CODE_PROGRESS, 0.0);
    host_.dispatchPending();
    EXPECT_EQ(barValue(*jumping), 89) << "0.5 + 0.15";
}

// Once the download started more than a minute ago, the text asks for patience, in the install
// phase as well; a restarted download starts the minute again.
TEST_F(MainWindowTest, ProgressTextAsksForPatienceAfterAMinute) {
    constexpr std::uint32_t kMinuteMs = 60'000;
    const auto patient = [](int percent) {
        return L"正在安装中:" + std::to_wstring(percent) + L"%，请耐心等待...";
    };
    const auto window = openWindow();
    const auto shows = [&](std::int32_t code, double value) {
        post(*window, code, value);
        host_.dispatchPending();
        return control(*window, L"progressLb").text();
    };
    post(*window, DL_CODE_START, 1.0);
    host_.advanceClock(kMinuteMs);
    EXPECT_EQ(shows(DL_CODE_PROGRESS, 0.5), progressText(35)) << "exactly a minute";
    host_.advanceClock(1);
    EXPECT_EQ(shows(DL_CODE_PROGRESS, 0.5), patient(35));
    EXPECT_EQ(shows(IST_CODE_PROGRESS, 0.0), patient(74));
    post(*window, DL_CODE_START, 1.0);
    EXPECT_EQ(shows(DL_CODE_PROGRESS, 1.0), progressText(70));
}

// Figures that are not numbers, or too large for one, keep the bar and the text within 0..100.
TEST_F(MainWindowTest, ProgressOutsideTheNumbersStaysWithinTheBar) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        double scale;
        std::int32_t code;
        double value;
        int percent;
    } cases[] = {
        {"download NaN", 0.7, DL_CODE_PROGRESS, kNan, 0},
        {"download inf", 0.7, DL_CODE_PROGRESS, kInfinity, 100},
        {"download -inf", 0.7, DL_CODE_PROGRESS, -kInfinity, 0},
        {"install inf (1e999)", 0.7, IST_CODE_PROGRESS, kInfinity, 100},
        {"install 1e300", 0.7, IST_CODE_PROGRESS, 1e300, 100},
        {"NaN scale, download", kNan, DL_CODE_PROGRESS, 0.5, 0},
        {"NaN scale, install", kNan, IST_CODE_PROGRESS, 0.5, 0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        g_settings.DownloadScale = row.scale;
        const auto window = openWindow();
        post(*window, row.code, row.value);
        host_.dispatchPending();
        EXPECT_EQ(control(*window, L"progressLb").text(), progressText(row.percent));
        EXPECT_EQ(barValue(*window), row.percent);
    }
}

// A failed installation shows the package's text (or "安装失败") as it is and goes back to the
// quick page; the bar and its text start again from 0 only once they had reached 70.
TEST_F(MainWindowTest, InstallFailureGoesBackAndResetsTheBarFromSeventy) {
    const struct {
        const char* name;
        double downloaded;
        std::wstring text;
        int barAfter;
        std::wstring shown;
    } cases[] = {
        {"at 69", 0.99, L"", 69, L"安装失败"},
        {"at 70", 1.0, L"", 0, L"安装失败"},
        {"format characters and markup", 1.0, L"%s%n<b>目录不可写</b>", 0,
         L"%s%n<b>目录不可写</b>"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto window = openWindow();
        post(*window, DL_CODE_PROGRESS, row.downloaded);
        host_.dispatchPending();
        const std::wstring textBefore = control(*window, L"progressLb").text();
        const PromptAnswerer answerer(host_, {{L"closebtn", {}}});
        post(*window, IST_CODE_FAIL, 1000.0, row.text);
        host_.dispatchPending();
        ASSERT_EQ(answerer.seen().size(), 1u);
        EXPECT_EQ(answerer.seen()[0].layout, kMessageBox2Wnd);
        EXPECT_EQ(answerer.seen()[0].text, row.shown);
        EXPECT_EQ(answerer.seen()[0].caption, kTipCaption);
        EXPECT_EQ(barValue(*window), row.barAfter);
        EXPECT_EQ(control(*window, L"progressLb").text(),
                  row.barAfter == 0 ? progressText(0) : textBefore);
        EXPECT_EQ(page(*window), CMainWnd::kQuickPage);
        EXPECT_EQ(window->installState(), CMainWnd::kBackAfterFailure);
        EXPECT_FALSE(host_.stalled());
    }
}

// A package message is shown as plain text; a failed uninstallation of the old version says the
// product is running and goes back.
TEST_F(MainWindowTest, PackageMessageAndUninstallFailurePrompts) {
    const auto window = openWindow();
    const PromptAnswerer answerer(host_, {{L"closebtn", {}}, {L"closebtn", {}}, {L"", {}}});
    // One at a time: events that arrive while a prompt is open are handled inside its loop.
    post(*window, IST_CODE_MESSAGE, 0.0, L"%s%n<b>请重启</b>\r\n%d");
    host_.dispatchPending();
    post(*window, UNIST_CODE_FAIL, 2.0);
    host_.dispatchPending();
    post(*window, UNIST_CODE_ERROR, 0.0, L"安装包卸载失败");
    host_.dispatchPending();
    ASSERT_EQ(answerer.seen().size(), 3u);
    EXPECT_EQ(answerer.seen()[0].layout, kMessageBox1Wnd);
    EXPECT_EQ(answerer.seen()[0].text, L"%s%n<b>请重启</b>\r\n%d");
    EXPECT_EQ(answerer.seen()[0].caption, L"消息");
    for (std::size_t index : {1u, 2u}) {
        EXPECT_EQ(answerer.seen()[index].layout, kMessageBox1Wnd);
        EXPECT_EQ(answerer.seen()[index].text, kRunningText);
        EXPECT_EQ(answerer.seen()[index].caption, kTipCaption);
    }
    EXPECT_TRUE(window->isAlive()) << "no earlier installation: the window stays";
    EXPECT_EQ(page(*window), CMainWnd::kQuickPage);
    EXPECT_EQ(window->installState(), CMainWnd::kBackAfterFailure);
    EXPECT_FALSE(host_.stalled());
}

// While a prompt is open the window goes on handling the pipeline's events, in their order,
// inside the prompt's loop.
TEST_F(MainWindowTest, EventsAreHandledWhileAPromptIsOpen) {
    const auto window = openWindow();
    std::vector<int> barsWhilePromptOpen;
    std::optional<std::uint64_t> promptId;
    host_.whenIdle([&] {
        promptId = host_.newestWindow()->id();
        post(*window, DL_CODE_PROGRESS, 0.5);
        post(*window, DL_CODE_PROGRESS, 1.0);
    });
    host_.whenIdle([&] {
        SkinUI::Window* prompt = host_.newestWindow();
        ASSERT_EQ(prompt->id(), promptId) << "still the same prompt";
        barsWhilePromptOpen.push_back(barValue(*window));
        EXPECT_EQ(control(*window, L"progressLb").text(), progressText(70));
        host_.click(*prompt, L"closebtn");
    });
    post(*window, IST_CODE_MESSAGE, 0.0, L"请稍候");
    host_.dispatchPending();
    EXPECT_EQ(barsWhilePromptOpen, std::vector<int>{70});
    EXPECT_FALSE(host_.stalled());
}

// What the package says about itself, kept for the finish: the delays taken as unsigned 32-bit
// periods (-1 the longest), the start style truncated.
TEST_F(MainWindowTest, PackageSettingsAreKept) {
    const auto window = openWindow();
    EXPECT_EQ(window->topShowDelayMs(), 3000u);
    EXPECT_EQ(window->finishCloseDelayMs(), 4'294'967'295u);
    EXPECT_EQ(window->startupStyle(), 0);
    const struct {
        const char* name;
        std::int32_t code;
        double value;
        std::uint32_t expected;
    } delays[] = {
        {"top show 1500", IST_CODE_TOP_SHOW_DETENTION, 1500.0, 1500},
        {"top show -1", IST_CODE_TOP_SHOW_DETENTION, -1.0, 4'294'967'295u},
        {"top show 0", IST_CODE_TOP_SHOW_DETENTION, 0.0, 0},
        {"finish close -1", IST_CODE_FINISH_CLOSE_DETENTION, -1.0, 4'294'967'295u},
        {"finish close 2.9", IST_CODE_FINISH_CLOSE_DETENTION, 2.9, 2},
        {"finish close 4294967295", IST_CODE_FINISH_CLOSE_DETENTION, 4294967295.0, 4'294'967'295u},
    };
    for (const auto& row : delays) {
        SCOPED_TRACE(row.name);
        post(*window, row.code, row.value);
        host_.dispatchPending();
        EXPECT_EQ(row.code == IST_CODE_TOP_SHOW_DETENTION ? window->topShowDelayMs()
                                                          : window->finishCloseDelayMs(),
                  row.expected);
    }
    post(*window, IST_CODE_STARTUP_STYLE, 2.0);
    post(*window, IST_CODE_START_URL, 0.0, L"http://127.0.0.1:9/start");
    post(*window, IST_CODE_EXE_PATH, 0.0, L"/x/BrivanoPhotoEditor.exe");
    post(*window, 4242, 1.0, L"an unknown code changes nothing");
    host_.dispatchPending();
    EXPECT_EQ(window->startupStyle(), 2);
    EXPECT_EQ(window->startUrl(), L"http://127.0.0.1:9/start");
    EXPECT_EQ(window->productExePath(), L"/x/BrivanoPhotoEditor.exe");
    EXPECT_TRUE(window->isAlive());
}

// After the package reported success: the finished page, the records, the product launched as the
// package asked, the window brought forward after its delay and closed after the other one.
TEST_F(MainWindowTest, SuccessFinishesAndLaunchesAsThePackageAsked) {
    constexpr std::uint32_t kCloseAfterMs = 500;
    constexpr std::uint32_t kTopShowMs = 3000;
    constexpr std::uint32_t kHourMs = 3'600'000;
    const fs::path folder = env_.path() / "Installed";
    fs::create_directories(folder);
    env_.temp().write("Installed/BrivanoPhotoEditor.exe", "product");
    const struct {
        const char* name;
        int startupStyle;
        std::wstring startUrl;
        std::optional<double> finishCloseDelay;  // none: the default
        bool opensPage;
        bool opensProduct;
        bool closes;
    } cases[] = {
        {"launched at once, closes after its delay", 1, L"http://127.0.0.1:9/welcome",
         kCloseAfterMs, true, true, true},
        {"no launch, the default delay keeps it open", 0, L"http://127.0.0.1:9/welcome",
         std::nullopt, false, false, false},
        {"a start page of 5 characters opens nothing", 1, L"http:", 0.0, false, true, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        opened_.clear();
        forgetInstallations();
        const auto window = openWindow();
        post(*window, IST_CODE_INST_PATH, 0.0, wide(folder));
        post(*window, IST_CODE_EXE_PATH, 0.0, wide(folder / kProductExe));
        post(*window, IST_CODE_START_URL, 0.0, row.startUrl);
        post(*window, IST_CODE_STARTUP_STYLE, row.startupStyle);
        if (row.finishCloseDelay) {
            post(*window, IST_CODE_FINISH_CLOSE_DETENTION, *row.finishCloseDelay);
        }
        post(*window, INSTALL_SUCCESS);
        host_.dispatchPending();
        expectPageDressing(*window, CMainWnd::kFinishedPage);
        EXPECT_EQ(barValue(*window), 100);
        EXPECT_EQ(recorded().recordedInstallPath, wide(folder));
        EXPECT_TRUE(fs::exists(folder / "set.ini"));

        std::vector<std::wstring> expectedTargets;
        if (row.opensPage) {
            expectedTargets.push_back(row.startUrl);
        }
        if (row.opensProduct) {
            expectedTargets.push_back(wide(folder / kProductExe));
        }
        std::vector<std::wstring> targets;
        for (const platform::ShellOpenRequest& request : opened_) {
            targets.push_back(request.target);
            EXPECT_EQ(request.verb, L"open");
            EXPECT_EQ(request.show, request.target == row.startUrl
                                        ? platform::ShowCommand::Maximized
                                        : platform::ShowCommand::Normal);
            EXPECT_EQ(request.workingFolder, L"");
        }
        EXPECT_EQ(targets, expectedTargets);

        EXPECT_TRUE(host_.hasTimer(*window->root(), CMainWnd::kTopShowTimerId));
        if (row.closes) {
            host_.advanceClock(kCloseAfterMs - 1);
            EXPECT_TRUE(window->isAlive());
            host_.advanceClock(1);
            EXPECT_FALSE(window->isAlive());
            EXPECT_EQ(window->result(), kClosedResult);
        } else {
            host_.advanceClock(kTopShowMs);
            EXPECT_FALSE(host_.hasTimer(*window->root(), CMainWnd::kTopShowTimerId))
                << "brought forward once";
            host_.advanceClock(kHourMs);
            EXPECT_TRUE(window->isAlive());
        }
    }
}

// A program of the product's name, or its uninstall companion, running: the installation is
// refused with the running prompt; the product closes the installer, the companion only after a
// start that found an earlier installation.
TEST_F(MainWindowTest, RunningProductRefusesTheInstallation) {
    const struct {
        const char* name;
        const char* program;
        bool closes;
    } cases[] = {
        {"the product", "BrivanoPhotoEditor.exe", true},
        {"the uninstall companion", "BrivanoPhotoEditor_un_asa.exe", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto window = openWindow();
        const std::wstring defaultDir = window->GetDefaultInstallDir();
        const RunningProgram running(env_.path(), row.program);
        ASSERT_TRUE(running.started());
        const PromptAnswerer answerer(host_, {{L"closebtn", {}}});
        ASSERT_TRUE(host_.click(*window, L"defaultInstallBtn"));
        host_.dispatchPending();
        ASSERT_EQ(answerer.seen().size(), 1u);
        EXPECT_EQ(answerer.seen()[0].layout, kMessageBox1Wnd);
        EXPECT_EQ(answerer.seen()[0].text, kRunningText);
        EXPECT_EQ(answerer.seen()[0].caption, kTipCaption);
        EXPECT_EQ(window->isAlive(), !row.closes);
        if (!row.closes) {
            EXPECT_EQ(page(*window), CMainWnd::kQuickPage);
        }
        EXPECT_FALSE(fs::exists(defaultDir));
        EXPECT_FALSE(host_.stalled());
    }
}

// An earlier installation found at start: "打开软件" opens the installed product and closes, the
// prompt's close button closes; a running product closes before anything is asked.
TEST_F(MainWindowTest, EarlierInstallationFoundAtStart) {
    const fs::path folder = recordInstallation("success.sh");
    const struct {
        const char* name;
        const wchar_t* answer;
        bool productRunning;
        std::vector<std::wstring> prompts;
        bool opensProduct;
    } cases[] = {
        {"打开软件", L"cancelBtn", false, {kInstalledPathTipWnd}, true},
        {"closed with its button", L"closebtn", false, {kInstalledPathTipWnd}, false},
        {"closed without a click", L"", false, {kInstalledPathTipWnd}, true},
        {"the product is running", L"closebtn", true, {kMessageBox1Wnd}, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        opened_.clear();
        waitUntilNoProductRuns();
        std::optional<RunningProgram> running;
        if (row.productRunning) {
            running.emplace(env_.path(), "BrivanoPhotoEditor.exe");
            ASSERT_TRUE(running->started());
        }
        const PromptAnswerer answerer(host_, {{row.answer, {}}});
        CMainWnd window(host_, services());
        ASSERT_TRUE(window.createFrame());
        EXPECT_EQ(layouts(answerer.seen()), row.prompts) << "asked before the window shows";
        window.centre();
        EXPECT_EQ(window.showModal(), kClosedResult);
        EXPECT_EQ(window.installRecords().recordedInstallPath, wide(folder));
        if (row.opensProduct) {
            const std::wstring product = wide(folder / kProductExe);
            ASSERT_EQ(opened_.size(), 1u);
            EXPECT_EQ(opened_[0].verb, L"open");
            EXPECT_EQ(opened_[0].target, product);
            EXPECT_EQ(opened_[0].workingFolder, wide(folder));
            EXPECT_EQ(opened_[0].show, platform::ShowCommand::Normal);
            EXPECT_EQ(window.productExePath(), product);
        } else {
            EXPECT_TRUE(opened_.empty());
        }
        if (row.productRunning) {
            EXPECT_EQ(answerer.seen()[0].text, kRunningText);
        }
        EXPECT_FALSE(host_.stalled());
    }
}

// "安装最新版本" over an old version whose uninstaller fails: the running prompt, then the
// installer closes, having installed nothing.
TEST_F(MainWindowTest, UninstallFailureOfTheOldVersionCloses) {
    const fs::path folder = recordInstallation("fail.sh");
    const PromptAnswerer answerer(host_, {{L"okBtn", {}}, {L"closebtn", {}}});
    waitUntilNoProductRuns();
    CMainWnd window(host_, services());
    ASSERT_TRUE(window.createFrame());
    EXPECT_EQ(control(window, L"installDirEdit").text(), wide(folder));
    window.centre();
    EXPECT_EQ(window.showModal(), kClosedResult);
    EXPECT_EQ(layouts(answerer.seen()),
              (std::vector<std::wstring>{kInstalledPathTipWnd, kMessageBox1Wnd}));
    ASSERT_EQ(answerer.seen().size(), 2u);
    EXPECT_EQ(answerer.seen()[1].text, kRunningText);
    EXPECT_EQ(answerer.seen()[1].caption, kTipCaption);
    EXPECT_EQ(window.installState(), CMainWnd::kBackAfterFailure);
    EXPECT_EQ(page(window), CMainWnd::kQuickPage);
    EXPECT_FALSE(fs::exists(folder / kProductExe));
    EXPECT_FALSE(host_.stalled());
}

TEST_F(MainWindowInstallTest, QuickInstallFinishesAndOpensTheProduct) {
    auto window = openWindow();
    const fs::path folder = window->GetDefaultInstallDir();
    ASSERT_TRUE(isInside(folder.wstring(), env_.path())) << folder << " is outside the test";
    installFrom(*window, L"defaultInstallBtn");
    EXPECT_EQ(window->startupStyle(), 2);
    EXPECT_EQ(window->productExePath(), wide(folder / kProductExe));
    EXPECT_TRUE(opened_.empty()) << "started from the finish button only";

    ASSERT_TRUE(host_.click(*window, L"openProduceBtn"));
    host_.dispatchPending();
    EXPECT_FALSE(window->isAlive());
    EXPECT_EQ(window->result(), kClosedResult);
    ASSERT_EQ(opened_.size(), 2u);
    EXPECT_TRUE(opened_[0].target.ends_with(L"/converter")) << utf8(opened_[0].target);
    EXPECT_EQ(opened_[0].show, platform::ShowCommand::Maximized);
    EXPECT_EQ(opened_[1].target, wide(folder / kProductExe));
    EXPECT_EQ(opened_[1].show, platform::ShowCommand::Normal);
    window.reset();  // waits for the pipeline's workers
    expectInstalledIn(folder);
    EXPECT_FALSE(host_.stalled());
}

// The custom page with the network check passing, a folder typed with backslashes and one
// shortcut fewer; the close button on the finished page closes without asking.
TEST_F(MainWindowInstallTest, CustomInstallIntoATypedFolder) {
    g_settings.IsCheckNet = true;
    auto window = openWindow();
    ASSERT_TRUE(host_.click(*window, L"customeBtn"));
    auto* edit = window->findControl<SkinUI::Edit>(L"installDirEdit");
    edit->setText(L"");
    ASSERT_TRUE(host_.click(*window, L"installDirEdit"));
    host_.typeText(*window, wide(env_.path()) + L"\\Custom Apps");
    ASSERT_TRUE(host_.click(*window, L"createDSCb"));
    ASSERT_TRUE(host_.click(*window, L"customeInstallBtn"));
    ASSERT_TRUE(runUntil(*window, [&] { return page(*window) == CMainWnd::kFinishedPage; }));
    EXPECT_EQ(window->installState(), CMainWnd::kFinished);

    ASSERT_TRUE(host_.click(*window, L"closebtn"));
    host_.dispatchPending();
    EXPECT_FALSE(window->isAlive());
    EXPECT_EQ(window->result(), kClosedResult);
    window.reset();
    expectInstalledIn(env_.path() / "Custom Apps" / kProductFolder);
    EXPECT_FALSE(host_.stalled());
}

// "安装最新版本": the old version's uninstaller runs first, then the new version goes into the
// recorded folder.
TEST_F(MainWindowInstallTest, UpdateInstallsIntoTheRecordedFolder) {
    const fs::path folder = recordInstallation("success.sh");
    const PromptAnswerer answerer(host_, {{L"okBtn", {}}});
    waitUntilNoProductRuns();
    auto window = std::make_unique<CMainWnd>(host_, services());
    ASSERT_TRUE(window->createFrame());
    EXPECT_EQ(layouts(answerer.seen()), std::vector<std::wstring>{kInstalledPathTipWnd});
    window->centre();
    window->show();
    ASSERT_TRUE(runUntil(*window, [&] { return page(*window) == CMainWnd::kFinishedPage; }));
    window.reset();
    expectInstalledIn(folder);
    EXPECT_FALSE(host_.stalled());
}

// The download-failure prompt answered otherwise: closed, the window goes back to the page the
// installation started from; "稍后再试" after a start that found an earlier installation closes
// the installer.
TEST_F(MainWindowInstallTest, DownloadFailureGoesBackOrCloses) {
    server_.setCues({demo_server::wrongBytes().requests(0, -1)});
    {
        SCOPED_TRACE("prompt closed, from the custom page");
        auto window = openWindow();
        ASSERT_TRUE(host_.click(*window, L"customeBtn"));
        window->findControl<SkinUI::Edit>(L"installDirEdit")->setText(wide(env_.path()));
        const PromptAnswerer answerer(host_, {{L"closebtn", {}}});
        ASSERT_TRUE(host_.click(*window, L"customeInstallBtn"));
        ASSERT_TRUE(runUntil(*window, [&] { return answerer.allAnswered(); }));
        host_.dispatchPending();
        EXPECT_EQ(layouts(answerer.seen()), std::vector<std::wstring>{kNetworkTipWnd});
        EXPECT_TRUE(window->isAlive());
        expectPageDressing(*window, CMainWnd::kCustomPage);
        EXPECT_EQ(window->installState(), CMainWnd::kBackAfterFailure);
        EXPECT_TRUE(control(*window, L"customeInstallBtn").isEnabled());
    }
    {
        SCOPED_TRACE("稍后再试 after an earlier installation was found");
        const fs::path folder = recordInstallation("success.sh");
        const PromptAnswerer answerer(host_, {{L"okBtn", {}}, {L"cancelBtn", {}}});
        waitUntilNoProductRuns();
        CMainWnd window(host_, services());
        ASSERT_TRUE(window.createFrame());
        window.centre();
        EXPECT_EQ(window.showModal(), kClosedResult);
        EXPECT_EQ(layouts(answerer.seen()),
                  (std::vector<std::wstring>{kInstalledPathTipWnd, kNetworkTipWnd}));
        EXPECT_FALSE(fs::exists(folder / kProductExe));
    }
    EXPECT_FALSE(host_.stalled());
}

// One analytics report as the collector stored it: a task or a click.
struct Report {
    std::string event;
    std::string name;
    std::string reason;
    std::string ab;
};

std::vector<Report> collectedReports(const collector::CollectorServer& collector) {
    std::vector<Report> reports;
    for (const std::string& text : collector.records()) {
        const nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
        if (record.is_discarded() || !record.contains("properties")) {
            continue;
        }
        const std::string event = record.value("event", "");
        const nlohmann::json& properties = record["properties"];
        if (event == "KoEventTask" || event == "KoEventClick") {
            reports.push_back(
                {event, properties.value(event == "KoEventTask" ? "ko_task_name" : "ko_name", ""),
                 properties.value("ko_reason", ""), properties.value("koc_ab", "")});
        }
    }
    return reports;
}

// The reasons of the reports of that name, in the order they were made.
std::vector<std::string> reasonsOf(const std::vector<Report>& reports, const std::string& name) {
    std::vector<std::string> reasons;
    for (const Report& report : reports) {
        if (report.name == name) {
            reasons.push_back(report.reason);
        }
    }
    return reasons;
}

// A download that fails its checksum twice (so the download starts twice), the download-failure
// prompt answered "重新安装" once the server behaves, the second attempt installing; then an
// install failure. The collector receives each task once per occasion, with its reason.
TEST_F(MainWindowInstallTest, DownloadFailureStartsOverAndTheTasksReachTheCollector) {
    collector::CollectorServer collector;
    ASSERT_TRUE(collector.start());
    const test_support::ScopedEnv collectorUrl{{"BRIVANO_COLLECTOR_URL", collector.url()}};
    g_settings.IsEnableAppUsage = true;
    g_settings.AbValue = L"B7";
    AppUsageInit();
    struct Shutdown {
        ~Shutdown() { AppUsageShutdown(); }
    };
    std::optional<Shutdown> shutdown(std::in_place);

    server_.setCues({demo_server::wrongBytes().requests(0, -1)});
    auto window = openWindow();
    const fs::path folder = window->GetDefaultInstallDir();
    ASSERT_TRUE(isInside(folder.wstring(), env_.path())) << folder << " is outside the test";
    PromptAnswerer answerer(host_, {{L"okBtn", [&] { server_.setCues({}); }}});
    ASSERT_TRUE(host_.click(*window, L"defaultInstallBtn"));
    ASSERT_TRUE(runUntil(*window, [&] { return page(*window) == CMainWnd::kFinishedPage; }));
    EXPECT_EQ(layouts(answerer.seen()), std::vector<std::wstring>{kNetworkTipWnd});

    window->postMessage(WM_DOWNLOADER_STARTED);
    host_.dispatchPending();
    const PromptAnswerer failure(host_, {{L"closebtn", {}}});
    post(*window, IST_CODE_FAIL, 1000.0, L"目录不可写%s%n<b>");
    host_.dispatchPending();
    EXPECT_EQ(layouts(failure.seen()), std::vector<std::wstring>{kMessageBox2Wnd});
    window.reset();
    shutdown.reset();

    const std::vector<Report> reports = collectedReports(collector);
    for (const Report& report : reports) {
        EXPECT_EQ(report.ab, "B7") << report.name;
    }
    EXPECT_EQ(reasonsOf(reports, "立即安装").size(), 1u) << "the click";
    EXPECT_EQ(reasonsOf(reports, "下载器启动").size(), 1u) << "reported once, however often";
    EXPECT_EQ(reasonsOf(reports, "开始下载大包").size(), 3u) << "twice in the first attempt";
    EXPECT_EQ(reasonsOf(reports, "大包下载完毕").size(), 1u);
    EXPECT_EQ(reasonsOf(reports, "安装成功").size(), 1u);
    const std::vector<std::string> downloadFailures = reasonsOf(reports, "下载失败原因");
    ASSERT_EQ(downloadFailures.size(), 3u);
    EXPECT_EQ(downloadFailures[0], ":1.code=0；2.msg=curl文件md5校验失败");
    EXPECT_EQ(downloadFailures[1], ":1.code=0；2.msg=curl文件md5校验失败");
    const std::string& final = downloadFailures[2];
    EXPECT_TRUE(final.starts_with("1.code=0；2.msg=LibCurl；3.缓存磁盘容量=")) << final;
    EXPECT_TRUE(final.ends_with("G；4.缓存读写权限=可读；5.服务器连接状态code=64")) << final;
    EXPECT_EQ(reasonsOf(reports, "安装失败原因"),
              std::vector<std::string>{":1.code=1000；2.msg=目录不可写%s%n<b>"});
    EXPECT_FALSE(host_.stalled());
}

}  // namespace

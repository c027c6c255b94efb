#include "install/download_installer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "demo_server/package_server.h"
#include "download/download_codes.h"
#include "download/pipeline_recorder.h"
#include "install/install_codes.h"
#include "install/package_fixtures.h"
#include "platform/debug_output.h"
#include "settings/installer_settings.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/wait.h"
#include "utils/system_probes.h"

namespace {

namespace fs = std::filesystem;
using test_support::Event;
using test_support::packageFixture;
using test_support::PipelineRecorder;

constexpr char kPackageName[] = "__Package_BrivanoPhotoEditor.exe";
// The downloaders refuse anything under 1 MiB, so the script packages carry a comment tail.
constexpr std::size_t kPackageBytes = (1 << 20) + 4096;

// A package that prints `lines` and ends: a shell script padded behind its "exit".
std::string scriptPackage(const std::vector<std::string>& lines) {
    std::string script = "#!/bin/sh\n";
    for (const std::string& line : lines) {
        script += "printf '%s\\n' '" + line + "'\n";
    }
    script += "exit 0\n";
    while (script.size() < kPackageBytes) {
        script += "# padding to the size of a real package ##################################\n";
    }
    return script;
}

const std::vector<std::string> kSucceeds = {"Encode=UTF8", "Progress=0.5", "InstPath=/opt/Brivano",
                                            "State=Success"};

bool isProgress(std::int32_t code) {
    return code == DL_CODE_PROGRESS || code == IST_CODE_PROGRESS || code == UNIST_CODE_PROGRESS;
}

bool endsTheJob(std::int32_t code) {
    return code == INSTALL_SUCCESS || code == IST_CODE_FAIL || code == DL_CODE_FAIL ||
           code == UNIST_CODE_FAIL || code == UNIST_CODE_ERROR;
}

// What the owner of one pipeline receives.
class Owner : public PipelineRecorder {
public:
    // Waits for the event that ends the `attempt`-th attempt.
    bool waitForEnd(std::size_t attempt = 1) {
        return waitForMatching([](const Event& event) { return endsTheJob(event.code); }, attempt);
    }
    // Events without progress, from the `first`-th on.
    std::vector<Event> milestones(std::size_t first = 0) const {
        std::vector<Event> kept;
        const std::vector<Event> all = events();
        for (std::size_t index = first; index < all.size(); ++index) {
            if (!isProgress(all[index].code)) {
                kept.push_back(all[index]);
            }
        }
        return kept;
    }
    std::int32_t firstCode() const {
        const std::vector<Event> all = events();
        return all.empty() ? 0 : all.front().code;
    }
};

// The pipeline as the main window drives it, against a loopback package server, with the
// installer's temporary folder inside the test's own folder (its path has a blank).
class Pipeline : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.start());
        fs::create_directory(temp_.path() / "my tmp");
        savedDownloadType_ = g_settings.DownloadType;
        g_settings.DownloadType = 1;
    }
    void TearDown() override { g_settings.DownloadType = savedDownloadType_; }

    void servePackage(const std::vector<std::string>& lines) {
        server_.setPackage(server_.addFile(kPackageName, scriptPackage(lines)));
    }

    std::wstring url() const { return platform::wideFromUtf8(server_.url("/software/327")); }
    fs::path installFolder() const { return temp_.path() / "Brivano Photo" / "1.0"; }
    fs::path packagePath() const { return installFolder() / kPackageName; }
    static fs::path uninstallerCopy() {
        return fs::path(Utils::GetInstallerTempDir()) / "BrivanoPhotoEditor_un_asa.exe";
    }

    // An installed older version whose uninstaller is the fixture.
    std::wstring oldUninstaller(const std::string& fixture) const {
        const fs::path folder = temp_.path() / "Old Brivano";
        fs::create_directories(folder);
        fs::copy_file(packageFixture(fixture), folder / "uninst.ep",
                      fs::copy_options::overwrite_existing);
        return (folder / "uninst.ep").wstring();
    }

    // One whole attempt; the pipeline is destroyed at the end, which waits for its workers, so
    // everything they do after the last event has been done.
    std::vector<Event> runOnce(Owner& owner, const std::wstring& uninstaller = L"") {
        {
            CDownloadInstaller pipeline(owner.callback(), url(), uninstaller,
                                        installFolder().wstring(), true, true, true);
            pipeline.Start();
            EXPECT_TRUE(owner.waitForEnd());
        }
        return owner.milestones();
    }

    test_support::TempFolder temp_;
    test_support::ScopedEnv env_{{"TMPDIR", (temp_.path() / "my tmp").string()}};
    demo_server::PackageServer server_;
    std::int32_t savedDownloadType_ = 0;
};

const Event kDownloadStart{DL_CODE_START, 1.0, L""};
const Event kDownloaded{DL_CODE_SUCCESS, 0.0, L"LibCurl"};
const Event kChecksumMismatch{DL_CODE_REPORT, 0.0, L"curl文件md5校验失败"};
const Event kInstallStart{IST_CODE_START, 0.0, L""};
const Event kInstallPath{IST_CODE_INST_PATH, 0.0, L"/opt/Brivano"};
const Event kInstalled{INSTALL_SUCCESS, 0.0, L""};

TEST_F(Pipeline, DownloadsInstallsAndRemovesThePackage) {
    servePackage(kSucceeds);
    const platform::DebugOutputCapture capture;
    Owner owner;
    EXPECT_EQ(runOnce(owner), (std::vector<Event>{kDownloadStart, kDownloaded, kInstallStart,
                                                  kInstallPath, kInstalled}));
    EXPECT_EQ(owner.firstCode(), DL_CODE_START);
    EXPECT_TRUE(fs::is_directory(installFolder()));
    EXPECT_FALSE(fs::exists(packagePath()));

    const auto lines = capture.lines();
    const auto logged = [&](const std::wstring& function, const std::wstring& message) {
        return std::ranges::any_of(lines, [&](const std::wstring& line) {
            return line.find(L"(" + function + L")") != std::wstring::npos &&
                   line.ends_with(L": " + message + L"\r\n");
        });
    };
    EXPECT_TRUE(logged(L"CDownloadInstaller::Start", L"DL_TYPE=1"));
    for (const wchar_t* message : {L"DL_CODE_START", L"DOWNLOAD_SUCCESS", L"DL_CODE_SUCCESS"}) {
        EXPECT_TRUE(logged(L"CDownloadInstaller::Start::DownloadHandler::operator ()", message))
            << message;
    }
    for (const wchar_t* message : {L"IST_CODE_START", L"INSTALL_SUCCESS"}) {
        EXPECT_TRUE(logged(L"CDownloadInstaller::Start::InstallHandler::operator ()", message))
            << message;
    }
}

TEST_F(Pipeline, UninstallsTheOldVersionBeforeTheDownload) {
    servePackage(kSucceeds);
    Owner owner;
    EXPECT_EQ(runOnce(owner, oldUninstaller("success.sh")),
              (std::vector<Event>{{UNIST_CODE_SUCCESS, 0.0, L""},
                                  kDownloadStart,
                                  kDownloaded,
                                  kInstallStart,
                                  kInstallPath,
                                  kInstalled}));
    EXPECT_EQ(owner.firstCode(), UNIST_CODE_PROGRESS);
    EXPECT_TRUE(fs::exists(uninstallerCopy()));
}

// The failures that end a job: what the owner sees, that nothing after them starts, and that no
// package is left in the install folder.
TEST_F(Pipeline, AFailureEndsTheJob) {
    struct Case {
        const char* name;
        std::vector<std::string> package;
        std::vector<demo_server::Cue> cues;
        const char* uninstallerFixture;  // nullptr: no old version
        std::vector<Event> expected;
    };
    const std::vector<Case> cases = {
        {"UninstallerFails",
         kSucceeds,
         {},
         "fail.sh",
         {{UNIST_CODE_ERROR, 0.0, L"安装包卸载失败"}}},
        {"ChecksumFailsBeforeAndAfterTheRestart",
         kSucceeds,
         {demo_server::wrongBytes().requests(0, -1)},
         nullptr,
         {kDownloadStart,
          kChecksumMismatch,
          {DL_CODE_RETRY, 0.0, L"LibCurl"},
          kDownloadStart,
          kChecksumMismatch,
          {DL_CODE_FAIL, 0.0, L"LibCurl"}}},
        {"PackageReportsAnError",
         {"Encode=UTF8", "Error=安装目录不可写"},
         {},
         nullptr,
         {kDownloadStart, kDownloaded, kInstallStart, {IST_CODE_FAIL, 1000.0, L"安装目录不可写"}}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        servePackage(row.package);
        server_.setCues(row.cues);
        const std::size_t getsBefore = server_.requests("GET").size();
        Owner owner;
        EXPECT_EQ(
            runOnce(owner, row.uninstallerFixture ? oldUninstaller(row.uninstallerFixture) : L""),
            row.expected);
        EXPECT_FALSE(fs::exists(packagePath()));
        if (row.uninstallerFixture) {
            EXPECT_EQ(server_.requests("GET").size(), getsBefore);
        }
    }
}

TEST_F(Pipeline, AMissingOrUncopyableUninstallerIsHandled) {
    servePackage(kSucceeds);
    {
        SCOPED_TRACE("a path that names nothing: no old version");
        Owner owner;
        const auto events = runOnce(owner, (temp_.path() / "gone" / "uninst.ep").wstring());
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), kInstalled);
        EXPECT_EQ(owner.firstCode(), DL_CODE_START);
    }
    {
        SCOPED_TRACE("no copy can be made: a stale copy of an earlier run is not run instead");
        fs::create_directories(uninstallerCopy().parent_path());
        fs::copy_file(packageFixture("success.sh"), uninstallerCopy());
        const fs::path uncopyable = temp_.path() / "Old Brivano" / "uninst.ep";
        fs::create_directories(uncopyable);
        Owner owner;
        EXPECT_EQ(runOnce(owner, uncopyable.wstring()),
                  (std::vector<Event>{{UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在"}}));
        EXPECT_FALSE(fs::exists(uninstallerCopy()));
    }
}

// A retry into another folder reuses the downloader, which still downloads into the first
// folder; the clean-up after the retry removes that package too.
TEST_F(Pipeline, ARetryReusesTheWorkersAndRemovesTheEarlierPackage) {
    servePackage(kSucceeds);
    const fs::path otherFolder = temp_.path() / "Other";
    Owner owner;
    std::size_t firstAttempt = 0;
    {
        CDownloadInstaller pipeline(owner.callback(), url(), L"", installFolder().wstring(), true,
                                    true, true);
        pipeline.Start();
        ASSERT_TRUE(owner.waitForEnd(1));
        EXPECT_EQ(owner.milestones().back(), kInstalled);
        // A user retries long after the clean-up that follows the final event; so does the test.
        ASSERT_TRUE(test_support::waitUntil(test_support::kPipelineTimeoutSec,
                                            [&] { return !fs::exists(packagePath()); }));

        firstAttempt = owner.events().size();
        pipeline.SetParams(url(), L"", otherFolder.wstring(), false, false, false, true);
        EXPECT_EQ(pipeline.GetPackagePath(), (otherFolder / kPackageName).wstring());
        pipeline.Start();
        ASSERT_TRUE(owner.waitForEnd(2));
    }
    EXPECT_EQ(
        owner.milestones(firstAttempt),
        (std::vector<Event>{kDownloadStart, kDownloaded, kInstallStart, kInstallPath, kInstalled}));
    EXPECT_TRUE(fs::is_directory(otherFolder));
    EXPECT_FALSE(fs::exists(packagePath()));
}

}  // namespace

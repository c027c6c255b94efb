#include "install/uninstaller.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "download/pipeline_recorder.h"
#include "install/install_codes.h"
#include "install/package_fixtures.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "utils/system_probes.h"

namespace {

using test_support::Event;
using test_support::packageFixture;
using test_support::PipelineRecorder;

TEST(UninstallCommandLine, QuotesTheProgramAndEndsWithTheOldFolder) {
    EXPECT_EQ(buildUninstallCommandLine(L"/tmp/my temp/u.exe", true, false, L"/opt/Old App"),
              LR"("/tmp/my temp/u.exe" /S -adminact=true -authorizationact=false)"
              LR"( -console=show _?=/opt/Old App)");
    EXPECT_EQ(buildUninstallCommandLine(L"/t/u", false, true, L""),
              LR"("/t/u" /S -adminact=false -authorizationact=true -console=show _?=)");
}

// A copy of the fixture where the pipeline puts it: a temporary folder (here with a blank in
// its name), under the copy's name, without exec bits.
class UninstallerCopy {
public:
    explicit UninstallerCopy(const std::string& fixture) {
        std::filesystem::create_directory(temp_.path() / "my temp");
        path_ = temp_.path() / "my temp" / "BrivanoPhotoEditor_un_asa.exe";
        std::filesystem::copy_file(packageFixture(fixture), path_);
        chmod(path_.c_str(), 0600);
    }
    std::wstring path() const { return path_.wstring(); }

private:
    test_support::TempFolder temp_;
    std::filesystem::path path_;
};

std::vector<Event> runUninstaller(const std::wstring& path,
                                  const std::wstring& oldFolder = L"/opt/Old") {
    PipelineRecorder recorder;
    {
        CUninstaller uninstaller(recorder.callback(), path, oldFolder);
        uninstaller.Start();
    }
    return recorder.events();
}

const Event kFirstProgress{UNIST_CODE_PROGRESS, 0.0, L""};
const Event kFailed{UNIST_CODE_ERROR, 0.0, L"安装包卸载失败"};

TEST(CUninstaller, ReportsWhatTheUninstallerSays) {
    struct Case {
        const char* fixture;
        std::vector<Event> expected;
    };
    const Case cases[] = {
        {"silent.sh", {kFirstProgress, {UNIST_CODE_SUCCESS, 1.0, L""}}},
        {"success.sh",
         {kFirstProgress, {UNIST_CODE_PROGRESS, 0.5, L""}, {UNIST_CODE_SUCCESS, 0.0, L""}}},
        {"fail.sh", {kFirstProgress, {UNIST_CODE_PROGRESS, 0.25, L""}, kFailed}},
        {"split_line.sh", {kFirstProgress, kFailed}},
        // Reading goes on after a final state, to the end of the output.
        {"chatty_after_state.sh", {kFirstProgress, {UNIST_CODE_SUCCESS, 0.0, L""}, kFailed}},
    };
    for (const Case& row : cases) {
        const UninstallerCopy copy(row.fixture);
        EXPECT_EQ(runUninstaller(copy.path()), row.expected) << row.fixture;
    }
}

TEST(CUninstaller, PassesTheOldFolderLastWithTheAdministratorFlags) {
    const test_support::ScopedEnv key({{"FIXTURE_KEY", "Error"}});
    const UninstallerCopy copy("echo_arguments.sh");
    std::wstring consoleUser;
    Utils::GetConsoleUserName(consoleUser);
    const std::wstring consoleAdmin = Utils::IsAdminUser(consoleUser) ? L"true" : L"false";
    const std::wstring elevated = Utils::IsAdminGroupMember() ? L"true" : L"false";
    std::vector<Event> expected{kFirstProgress};
    for (const std::wstring& argument :
         {std::wstring(L"/S"), L"-adminact=" + consoleAdmin, L"-authorizationact=" + elevated,
          std::wstring(L"-console=show"), std::wstring(L"_?=/opt/Old App")}) {
        expected.push_back({UNIST_CODE_ERROR, 0.0, argument});
    }
    EXPECT_EQ(runUninstaller(copy.path(), L"/opt/Old App"), expected);
}

TEST(CUninstaller, ReportsAMissingOrUnstartableCopy) {
    test_support::TempFolder temp;
    EXPECT_EQ(runUninstaller(temp.wideFile("BrivanoPhotoEditor_un_asa.exe")),
              (std::vector<Event>{{UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在"}}));
    temp.write("garbage.exe", "not a program");
    EXPECT_EQ(runUninstaller(temp.wideFile("garbage.exe")),
              (std::vector<Event>{kFirstProgress, {UNIST_CODE_FAIL, 2.0, L""}}));
    // A command line that does not fit is refused, not cut.
    const UninstallerCopy copy("silent.sh");
    EXPECT_EQ(runUninstaller(copy.path(), L"/opt/" + std::wstring(1000, L'x')),
              (std::vector<Event>{kFirstProgress, {UNIST_CODE_FAIL, 2.0, L""}}));
}

}  // namespace

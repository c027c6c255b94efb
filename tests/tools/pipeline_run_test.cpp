#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "demo_server/package_server.h"
#include "support/child_process.h"
#include "support/scratch_home.h"
#include "support/temp_folder.h"
#include "utils/install_records.h"

namespace {

namespace fs = std::filesystem;
using test_support::ChildRun;
using test_support::runProgram;

constexpr char kPipelineRun[] = BRIVANO_PIPELINE_RUN_PATH;
constexpr char kDemoPackage[] = BRIVANO_DEMO_PACKAGE_PATH;
constexpr char kPackageName[] = "__Package_BrivanoPhotoEditor.exe";

struct PipelineOutput {
    int exitCode = -1;
    std::vector<nlohmann::ordered_json> events;
    std::string output;

    // The event names without the progress events, whose number varies with timing.
    std::vector<std::string> milestones() const {
        std::vector<std::string> names;
        for (const nlohmann::ordered_json& event : events) {
            const std::string name = event.at("name");
            if (name.find("PROGRESS") == std::string::npos) {
                names.push_back(name);
            }
        }
        return names;
    }
    const nlohmann::ordered_json* find(const std::string& name) const {
        for (const nlohmann::ordered_json& event : events) {
            if (event.at("name") == name) {
                return &event;
            }
        }
        return nullptr;
    }
};

PipelineOutput runPipeline(const std::vector<std::string>& arguments,
                           const std::string& program = kPipelineRun) {
    const ChildRun child = runProgram(program, arguments);
    PipelineOutput run{child.exitCode(), {}, child.output};
    std::istringstream lines(child.output);
    for (std::string line; std::getline(lines, line);) {
        run.events.push_back(nlohmann::ordered_json::parse(line, nullptr, false));
        EXPECT_FALSE(run.events.back().is_discarded()) << line;
    }
    return run;
}

// The demo package on a loopback package server, and a scratch home, registry store and
// temporary folder for the runs, so that each test starts on a machine with nothing installed.
class PipelineRun : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp_.path() / "root");
        fs::create_directories(temp_.path() / "tmp");
        const ChildRun written = runProgram(
            kDemoPackage, {"--write=" + temp_.file("root/" + std::string(kPackageName))});
        ASSERT_EQ(written.exitCode(), 0) << written.output;
        ASSERT_TRUE(server_.start());
        const std::string path =
            server_.addDiskFile(kPackageName, temp_.file("root/" + std::string(kPackageName)));
        ASSERT_FALSE(path.empty());
        server_.setPackage(path);
    }

    std::string downloadUrl() const { return "-downloadurl=" + server_.url("/software/327"); }
    fs::path folder(const std::string& name) const { return temp_.path() / "opt" / name; }

    PipelineOutput install(const fs::path& folder, int downloadType) {
        return runPipeline({"--dir=" + folder.string(), downloadUrl(),
                            "-downloadtype=" + std::to_string(downloadType)});
    }

    test_support::ScratchHome home_;
    const test_support::TempFolder& temp_ = home_.temp();
    demo_server::PackageServer server_;
};

const std::vector<std::string> kInstallMilestones = {
    "DL_CODE_START",     "DL_CODE_SUCCESS",    "IST_CODE_START",         "IST_CODE_INST_PATH",
    "IST_CODE_EXE_PATH", "IST_CODE_UNINST_EP", "IST_CODE_STARTUP_STYLE", "INSTALL_SUCCESS"};

// Each run finds the installation of the run before it in the records and uninstalls it first.
TEST_F(PipelineRun, InstallsTheDemoProductWithEachDownloadType) {
    fs::path previous;
    for (const int downloadType : {1, 2, 3}) {
        SCOPED_TRACE(downloadType);
        const fs::path target = folder("Brivano Photo " + std::to_string(downloadType));
        const std::size_t getsBefore = server_.requests("GET").size();
        const PipelineOutput run = install(target, downloadType);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::vector<std::string> expected = kInstallMilestones;
        if (!previous.empty()) {
            expected.insert(expected.begin(), "UNIST_CODE_SUCCESS");
            EXPECT_EQ(run.events.front().at("name"), "UNIST_CODE_PROGRESS");
            // The old product is gone; the installer's own set.ini stays.
            EXPECT_FALSE(fs::exists(previous / "BrivanoPhotoEditor.exe"));
            EXPECT_TRUE(fs::exists(previous / "set.ini"));
        } else {
            EXPECT_EQ(run.events.front().dump(),
                      R"({"code":1001,"name":"DL_CODE_START","value":1.0,"text":""})");
        }
        EXPECT_EQ(run.milestones(), expected) << run.output;
        ASSERT_NE(run.find("IST_CODE_INST_PATH"), nullptr);
        EXPECT_EQ(run.find("IST_CODE_INST_PATH")->at("text"), target.string());
        EXPECT_EQ(run.find("IST_CODE_STARTUP_STYLE")->at("value"), 2.0);

        const ChildRun product = runProgram((target / "BrivanoPhotoEditor.exe").string());
        EXPECT_EQ(product.exitCode(), 0);
        EXPECT_NE(product.output.find("Brivano"), std::string::npos) << product.output;
        EXPECT_TRUE(fs::exists(target / "uninst.ep"));
        EXPECT_TRUE(fs::exists(target / "set.ini"));
        EXPECT_FALSE(fs::exists(target / kPackageName));
        if (downloadType == 3) {
            // The package is large enough for two parts.
            EXPECT_EQ(server_.requests("GET").size() - getsBefore, 2u);
        }
        previous = target;
    }
    Utils::InstallRecordPaths records;
    Utils::ReadInstallRecords(records);
    EXPECT_EQ(records.recordedInstallPath, previous.wstring());
    EXPECT_EQ(records.recordedUninstallPath, (previous / "uninst.ep").wstring());

    // An explicit empty uninstaller skips the step.
    const PipelineOutput again =
        runPipeline({"--dir=" + previous.string(), "--uninstaller=", downloadUrl()});
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(again.milestones(), kInstallMilestones);
}

TEST_F(PipelineRun, EndsWithOneAfterAFailure) {
    server_.setCues({demo_server::wrongBytes().requests(0, -1)});
    const PipelineOutput run = install(folder("Brivano"), 1);
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_FALSE(run.events.empty());
    EXPECT_EQ(run.events.back().at("name"), "DL_CODE_FAIL");
    EXPECT_FALSE(fs::exists(folder("Brivano") / kPackageName));
}

// Settings come in three layers, as the installer's: defaults, the INI file beside the program,
// then the options; the program's own options are checked before anything runs.
TEST_F(PipelineRun, PrintsTheEffectiveSettingsAndRefusesBadUsage) {
    const fs::path bin = temp_.path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(kPipelineRun, bin / "pipeline-run");
    std::ofstream(bin / "PeltaInstallerConfig.ini")
        << "[Install]\nDownloadType=3\nInstCmd=-from-ini\nAbValue=IN\n";
    const PipelineOutput settings = runPipeline(
        {"--print-settings", "-downloadtype=2", "-downloadscale=abc", "-dlappversion=2.0"},
        (bin / "pipeline-run").string());
    EXPECT_EQ(settings.exitCode, 0);
    ASSERT_EQ(settings.events.size(), 1u) << settings.output;
    const nlohmann::ordered_json& json = settings.events.front();
    EXPECT_EQ(json.at("DownloadType"), 2);
    EXPECT_EQ(json.at("InstCmd"), "-from-ini");
    EXPECT_EQ(json.at("IsCheckNet"), true);
    EXPECT_EQ(json.at("DlAppVersion"), "2.0");
    EXPECT_EQ(json.at("DownloadScale"), "nan");
    EXPECT_EQ(json.at("AppId"), "BrivanoPhotoEditor");
    EXPECT_EQ(json.size(), 13u);

    const std::vector<std::vector<std::string>> badUsage = {
        {}, {"--dir="}, {"--dir=/tmp/x", "--dsc=yes"}, {"--dir=/tmp/x", "--unknown"}};
    for (const auto& arguments : badUsage) {
        EXPECT_EQ(runProgram(kPipelineRun, arguments).exitCode(), 2);
    }
}

}  // namespace

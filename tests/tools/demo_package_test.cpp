#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "download/pipeline_recorder.h"
#include "install/install_codes.h"
#include "install/installer.h"
#include "install/uninstaller.h"
#include "platform/text_encoding.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using test_support::ChildRun;
using test_support::Event;
using test_support::PipelineRecorder;
using test_support::runProgram;
using test_support::TempFolder;

constexpr char kDemoPackage[] = BRIVANO_DEMO_PACKAGE_PATH;
// From this size on the multi-part downloader fetches a package in two parts.
constexpr std::uintmax_t kMinPackageBytes = 21ull << 20;
constexpr char kPackageName[] = "__Package_BrivanoPhotoEditor.exe";

std::string writePackage(const TempFolder& temp, const std::string& name = kPackageName) {
    const std::string path = temp.file(name);
    const ChildRun run = runProgram(kDemoPackage, {"--write=" + path});
    EXPECT_EQ(run.exitCode(), 0) << run.output;
    return path;
}

// Compared block by block: the packages are too large to read a byte at a time in a sanitizer
// build.
bool sameBytes(const std::string& left, const std::string& right) {
    constexpr std::size_t kBlockBytes = 1 << 20;
    std::ifstream first(left, std::ios::binary);
    std::ifstream second(right, std::ios::binary);
    std::string a(kBlockBytes, '\0');
    std::string b(kBlockBytes, '\0');
    while (first && second) {
        first.read(a.data(), static_cast<std::streamsize>(a.size()));
        second.read(b.data(), static_cast<std::streamsize>(b.size()));
        if (first.gcount() != second.gcount() || a != b) {
            return false;
        }
    }
    return first.eof() && second.eof();
}

unsigned modeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Every entry below the folder with its size (folders as -1), to show that nothing changed.
std::map<std::string, std::intmax_t> listing(const fs::path& folder) {
    std::map<std::string, std::intmax_t> entries;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder, error)) {
        entries[entry.path().string()] =
            entry.is_regular_file() ? static_cast<std::intmax_t>(entry.file_size()) : -1;
    }
    return entries;
}

std::vector<Event> install(const std::string& package, const std::string& folder) {
    PipelineRecorder recorder;
    {
        CInstaller installer(recorder.callback(), platform::wideFromUtf8(package),
                             platform::wideFromUtf8(folder));
        installer.SetFlags({true, true, false, true});
        installer.Start();
    }
    return recorder.events();
}

std::vector<Event> uninstall(const std::string& uninstaller, const std::string& folder) {
    PipelineRecorder recorder;
    {
        CUninstaller runner(recorder.callback(), platform::wideFromUtf8(uninstaller),
                            platform::wideFromUtf8(folder));
        runner.Start();
    }
    return recorder.events();
}

// Where the pipeline puts the old uninstaller before running it: a temporary folder, here with
// a blank in its name, under the copy's name.
std::string copyUninstaller(const TempFolder& temp, const std::string& source) {
    fs::create_directories(temp.path() / "my temp");
    const fs::path copy = temp.path() / "my temp" / "BrivanoPhotoEditor_un_asa.exe";
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    return copy.string();
}

TEST(DemoPackage, WritesALargeExecutableTheSameEachTime) {
    const TempFolder temp;
    const std::string package = writePackage(temp);
    writePackage(temp, "again.exe");
    EXPECT_GE(fs::file_size(package), kMinPackageBytes);
    EXPECT_EQ(modeOf(package), 0755u);
    EXPECT_TRUE(sameBytes(package, temp.file("again.exe")));
    // A folder that cannot take the file fails, and leaves no temporary file behind.
    const ChildRun refused = runProgram(kDemoPackage, {"--write=" + temp.file("missing/p.exe")});
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_NE(refused.output.find("cannot write"), std::string::npos) << refused.output;
    EXPECT_EQ(listing(temp.path()).size(), 2u);
}

TEST(DemoPackage, InstallsThroughTheInstallerAndUninstallsThroughTheUninstaller) {
    struct Case {
        const char* name;
        bool installerWroteSetIni;
        std::string startUrl;  // in the environment the installer passes on; empty: unset
    };
    const Case cases[] = {
        {"LeavesTheInstallersSetIni", true, ""},
        {"RemovesTheEmptiedFolderAndNamesTheStartPage", false, "http://127.0.0.1:9/converter"},
    };
    for (const Case& row : cases) {
        const TempFolder temp;
        const test_support::ScopedEnv env{
            {"BRIVANO_DEMO_START_URL",
             row.startUrl.empty() ? std::nullopt : std::optional<std::string>(row.startUrl)},
            {"BRIVANO_DEMO_LAUNCH_LOG", temp.file("launched.log")}};
        const std::string package = writePackage(temp);
        // Missing, nested, with a blank and Chinese in its path.
        const std::string folder = temp.file("Brivano 照片") + "/Photo Editor";
        const std::string product = folder + "/BrivanoPhotoEditor.exe";
        const std::string uninstEp = folder + "/uninst.ep";
        std::vector<Event> expected{{IST_CODE_START, 0.0, L""},
                                    {IST_CODE_PROGRESS, 0.0, L""},
                                    {IST_CODE_PROGRESS, 0.1, L""},
                                    {IST_CODE_PROGRESS, 0.4, L""},
                                    {IST_CODE_PROGRESS, 0.7, L""},
                                    {IST_CODE_PROGRESS, 1.0, L""},
                                    {IST_CODE_INST_PATH, 0.0, platform::wideFromUtf8(folder)},
                                    {IST_CODE_EXE_PATH, 0.0, platform::wideFromUtf8(product)},
                                    {IST_CODE_UNINST_EP, 0.0, platform::wideFromUtf8(uninstEp)}};
        if (!row.startUrl.empty()) {
            expected.push_back({IST_CODE_START_URL, 0.0, platform::wideFromUtf8(row.startUrl)});
        }
        expected.push_back({IST_CODE_STARTUP_STYLE, 2.0, L""});
        expected.push_back({INSTALL_SUCCESS, 0.0, L""});
        EXPECT_EQ(install(package, folder), expected) << row.name;
        EXPECT_EQ(modeOf(product), 0755u) << row.name;
        EXPECT_EQ(modeOf(uninstEp), 0755u) << row.name;

        const ChildRun editor = runProgram(product);
        EXPECT_EQ(editor.exitCode(), 0) << row.name;
        EXPECT_NE(editor.output.find("Brivano 照片编辑器 (BrivanoPhotoEditor) 1.0.0"),
                  std::string::npos)
            << editor.output;
        // The proof of a launch that a product started with its output on /dev/null leaves.
        EXPECT_TRUE(temp.read("launched.log").starts_with("launched " + product + " pid "))
            << row.name << ": " << temp.read("launched.log");

        if (row.installerWroteSetIni) {
            temp.write("Brivano 照片/Photo Editor/set.ini", "[Install]\n");
        }
        EXPECT_EQ(uninstall(copyUninstaller(temp, uninstEp), folder),
                  (std::vector<Event>{{UNIST_CODE_PROGRESS, 0.0, L""},
                                      {UNIST_CODE_PROGRESS, 0.1, L""},
                                      {UNIST_CODE_PROGRESS, 0.6, L""},
                                      {UNIST_CODE_PROGRESS, 1.0, L""},
                                      {UNIST_CODE_SUCCESS, 0.0, L""}}))
            << row.name;
        std::map<std::string, std::intmax_t> left;
        if (row.installerWroteSetIni) {
            left[folder] = -1;
            left[folder + "/set.ini"] = 10;
        }
        EXPECT_EQ(listing(temp.file("Brivano 照片")), left) << row.name;
        EXPECT_TRUE(fs::exists(package)) << row.name;
    }
}

TEST(DemoPackage, InstallReportsAFolderItCannotUse) {
    const TempFolder temp;
    const std::string package = writePackage(temp);
    temp.write("a file", "not a folder");
    // Without a folder the installer leaves "/D=" out altogether.
    for (const std::string& folder : {std::string(), temp.file("a file") + "/Photo Editor"}) {
        const auto before = listing(temp.path());
        const std::vector<Event> events = install(package, folder);
        ASSERT_EQ(events.size(), 3u) << folder;
        EXPECT_EQ(events.back().code, IST_CODE_FAIL) << folder;
        EXPECT_EQ(events.back().value, 1000.0) << folder;
        EXPECT_FALSE(events.back().text.empty()) << folder;
        EXPECT_EQ(listing(temp.path()), before) << folder;
    }
}

TEST(DemoPackage, UninstallerLeavesAFolderWithoutTheProductAlone) {
    struct Case {
        const char* name;
        bool folderExists;
        std::vector<std::pair<std::string, std::string>> files;  // name, content
    };
    const Case cases[] = {
        {"MissingFolder", false, {}},
        {"EmptyFolder", true, {}},
        // Same names, but none of them carries the product's trailer.
        {"StrangersUnderTheProductsNames",
         true,
         {{"BrivanoPhotoEditor.exe", "#!/bin/sh\n"}, {"uninst.ep", "x"}, {"notes.txt", "keep"}}},
    };
    for (const Case& row : cases) {
        const TempFolder temp;
        const std::string folder = temp.file("Photo Editor");
        if (row.folderExists) {
            fs::create_directory(folder);
        }
        for (const auto& [name, content] : row.files) {
            temp.write("Photo Editor/" + name, content);
        }
        const std::string uninstaller = copyUninstaller(temp, kDemoPackage);
        const auto before = listing(temp.path());
        const std::vector<Event> events = uninstall(uninstaller, folder);
        ASSERT_EQ(events.size(), 2u) << row.name;
        EXPECT_EQ(events.back().code, UNIST_CODE_ERROR) << row.name;
        EXPECT_NE(events.back().text.find(platform::wideFromUtf8(folder)), std::wstring::npos)
            << row.name;
        EXPECT_EQ(listing(temp.path()), before) << row.name;
    }
    // An empty folder argument names no installation either.
    const TempFolder temp;
    const std::vector<Event> events = uninstall(copyUninstaller(temp, kDemoPackage), "");
    EXPECT_EQ(events.back().code, UNIST_CODE_ERROR);
}

TEST(DemoPackage, PrintsUsageForAnythingElse) {
    const std::vector<std::vector<std::string>> cases = {
        {"--help"}, {}, {"--write="}, {"--bogus"}, {"--write=/tmp/p.exe", "extra"}};
    for (const std::vector<std::string>& arguments : cases) {
        const ChildRun run = runProgram(kDemoPackage, arguments);
        EXPECT_EQ(run.exitCode(), 2) << testing::PrintToString(arguments);
        EXPECT_NE(run.output.find("usage: demo-package"), std::string::npos) << run.output;
    }
}

}  // namespace

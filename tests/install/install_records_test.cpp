#include "utils/install_records.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdint>
#include <optional>
#include <regex>
#include <string>

#include "platform/ini_file.h"
#include "platform/path.h"
#include "platform/registry_store.h"
#include "platform/text_encoding.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using platform::readIniString;
using test_support::ScopedEnv;
using test_support::TempFolder;
using Utils::InstallRecordPaths;

constexpr std::size_t kBufferUnits = 260;

std::optional<platform::RegistryValue> recordValue(const wchar_t* name) {
    return platform::readRegistryValue(Utils::kInstallRecordsKey, name);
}

std::string utf8(const std::wstring& text) {
    return platform::utf8FromWide(text);
}

// Each test gets its own registry store and data folder, and an install folder "inst".
class InstallRecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty()) << "no temporary folder";
        ASSERT_TRUE(std::filesystem::create_directory(folder_.path() / "inst"));
    }

    std::wstring installDir() const { return folder_.wideFile("inst"); }
    std::wstring analyticsIni() const {
        return folder_.wideFile("data/PeltaData/BrivanoPhotoEditor/KOUsageAnalytics.ini");
    }

    TempFolder folder_;
    ScopedEnv env_{{"XDG_CONFIG_HOME", folder_.file("config")},
                   {"XDG_DATA_HOME", folder_.file("data")}};
};

TEST_F(InstallRecordsTest, InstallPathIsStoredAsUtf16TextWithoutTerminatingZero) {
    InstallRecordPaths paths;
    paths.installDir = L"C:\\A";
    Utils::WriteInstallRecords(paths);

    const std::optional<platform::RegistryValue> value = recordValue(L"InstallPath");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, platform::kRegSz);
    EXPECT_EQ(value->bytes, std::string("C\0:\0\\\0A\0", 8));
    EXPECT_EQ(paths.uninstallerPath, L"C:\\A/uninst.ep");
    EXPECT_FALSE(recordValue(L"UnInstallEp")) << "no uninstall file, no value";
}

TEST_F(InstallRecordsTest, UninstallFileIsRecordedOnlyWhenItExists) {
    const struct {
        const char* what;
        const char* reportedFile;  // nullptr: the package reported no path
        const char* createdFile;   // nullptr: nothing on disk
        const char* recordedFile;  // nullptr: no UnInstallEp
    } rows[] = {
        {"assumed file present", nullptr, "inst/uninst.ep", "inst/uninst.ep"},
        {"reported file present", "inst/un.dat", "inst/un.dat", "inst/un.dat"},
        {"reported file missing", "inst/un.dat", "inst/uninst.ep", nullptr},
        {"assumed file missing", nullptr, nullptr, nullptr},
    };
    for (const auto& row : rows) {
        const TempFolder config;
        const ScopedEnv env{{"XDG_CONFIG_HOME", config.path()}};
        std::filesystem::remove(folder_.path() / "inst/uninst.ep");
        std::filesystem::remove(folder_.path() / "inst/un.dat");
        if (row.createdFile != nullptr) {
            folder_.write(row.createdFile, "data");
        }
        InstallRecordPaths paths;
        paths.installDir = installDir();
        if (row.reportedFile != nullptr) {
            paths.uninstallerPath = folder_.wideFile(row.reportedFile);
        }
        Utils::WriteInstallRecords(paths);

        EXPECT_EQ(recordValue(L"InstallPath")->bytes, platform::utf16leFromWide(installDir()))
            << row.what;
        const std::optional<platform::RegistryValue> uninstall = recordValue(L"UnInstallEp");
        if (row.recordedFile == nullptr) {
            EXPECT_FALSE(uninstall) << row.what;
        } else {
            ASSERT_TRUE(uninstall) << row.what;
            EXPECT_EQ(uninstall->type, platform::kRegSz) << row.what;
            EXPECT_EQ(uninstall->bytes,
                      platform::utf16leFromWide(folder_.wideFile(row.recordedFile)))
                << row.what;
        }
    }
}

TEST_F(InstallRecordsTest, ReadInstallRecordsFillsBothPaths) {
    const struct {
        const char* what;
        const wchar_t* installPath;  // nullptr: value absent
        const wchar_t* uninstallPath;
        std::wstring expectedInstall;
        std::wstring expectedUninstall;
    } rows[] = {
        {"nothing recorded", nullptr, nullptr, L"", L""},
        {"folder only", L"/opt/Brivano", nullptr, L"/opt/Brivano", L"/opt/Brivano/uninst.ep"},
        {"both", L"/opt/Brivano", L"/opt/Brivano/un.dat", L"/opt/Brivano", L"/opt/Brivano/un.dat"},
        {"uninstall file only", nullptr, L"/x/uninst.ep", L"", L"/x/uninst.ep"},
        {"non-ASCII folder", L"/opt/\u00c4\U0001F600", nullptr, L"/opt/\u00c4\U0001F600",
         L"/opt/\u00c4\U0001F600/uninst.ep"},
    };
    for (const auto& row : rows) {
        const TempFolder config;
        const ScopedEnv env{{"XDG_CONFIG_HOME", config.path()}};
        if (row.installPath != nullptr) {
            ASSERT_TRUE(Utils::WriteRecordValue(L"InstallPath", row.installPath)) << row.what;
        }
        if (row.uninstallPath != nullptr) {
            ASSERT_TRUE(Utils::WriteRecordValue(L"UnInstallEp", row.uninstallPath)) << row.what;
        }
        InstallRecordPaths paths{L"stale", L"stale", L"", L""};
        Utils::ReadInstallRecords(paths);
        EXPECT_EQ(paths.recordedInstallPath, row.expectedInstall) << row.what;
        EXPECT_EQ(paths.recordedUninstallPath, row.expectedUninstall) << row.what;
    }
}

TEST_F(InstallRecordsTest, ReadRecordValueTakesTextUpToFirstZeroWhateverTheType) {
    const struct {
        const char* what;
        std::uint32_t type;
        std::string bytes;
        std::wstring expected;
    } rows[] = {
        {"text with terminating zero", platform::kRegSz, std::string("A\0B\0\0\0", 6), L"AB"},
        {"zero inside", platform::kRegExpandSz, std::string("A\0\0\0B\0", 6), L"A"},
        {"dword", platform::kRegDword, std::string("A\0\0\0", 4), L"A"},
        {"odd byte count", platform::kRegBinary, std::string("A\0B", 3), L"AB"},
        {"empty", platform::kRegSz, "", L""},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(
            platform::writeRegistryValue(Utils::kInstallRecordsKey, L"V", row.type, row.bytes));
        std::uint32_t type = 0;
        std::wstring text = L"old";
        ASSERT_TRUE(Utils::ReadRecordValue(L"V", type, text)) << row.what;
        EXPECT_EQ(type, row.type) << row.what;
        EXPECT_EQ(text, row.expected) << row.what;
    }
    std::uint32_t type = 7;
    std::wstring text = L"untouched";
    EXPECT_FALSE(Utils::ReadRecordValue(L"Missing", type, text));
    EXPECT_EQ(text, L"untouched");
    EXPECT_EQ(type, 7u);
}

TEST_F(InstallRecordsTest, WriteInstallInfoWritesSetIniAndAnalyticsIniAsUtf8) {
    const std::string localeBefore = setlocale(LC_ALL, nullptr);
    // A non-ASCII data folder shows that the paths are written as UTF-8 bytes.
    const ScopedEnv env{{"XDG_DATA_HOME", folder_.file("d\xc3\xa4ta")}};
    const std::wstring analytics = platform::widePath(
        folder_.file("d\xc3\xa4ta/PeltaData/BrivanoPhotoEditor/KOUsageAnalytics.ini"));
    InstallRecordPaths paths;
    paths.installDir = installDir();
    Utils::WriteInstallInfo(paths);

    EXPECT_EQ(setlocale(LC_ALL, nullptr), localeBefore) << "process locale unchanged";
    const std::wstring ini = folder_.wideFile("inst/set.ini");
    const std::wstring deviceId = readIniString(ini, L"Install", L"DeviceID", L"", kBufferUnits);
    EXPECT_EQ(deviceId.size(), 32u) << utf8(deviceId);
    const std::string appStore = utf8(platform::fileNameOf(platform::modulePath()));
    EXPECT_EQ(folder_.read("inst/set.ini"),
              "[Install]\nAPPStore=" + appStore + "\nAppName=BrivanoPhotoEditor\nDeviceID=" +
                  utf8(deviceId) + "\nKOUsageAnalyticsIni=" + utf8(analytics) + "\n");
    EXPECT_EQ(readIniString(ini, L"Install", L"KOUsageAnalyticsIni", L"", kBufferUnits), analytics);

    const std::wstring updateTime =
        readIniString(analytics, L"Init", L"UpdateTime", L"", kBufferUnits);
    EXPECT_TRUE(std::regex_match(utf8(updateTime),
                                 std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:"
                                            "[0-6][0-9]")))
        << utf8(updateTime);
    EXPECT_EQ(folder_.read("d\xc3\xa4ta/PeltaData/BrivanoPhotoEditor/KOUsageAnalytics.ini"),
              "[Init]\nUpdateTime=" + utf8(updateTime) + "\n");
}

TEST_F(InstallRecordsTest, SecondWriteInstallInfoLeavesTheSecondDeviceId) {
    InstallRecordPaths paths;
    paths.installDir = installDir();
    // The product's own spelling of the file: written into it, not beside it.
    folder_.write("inst/Set.ini", "[Uninstall]\nIsOverride=false\n");
    const std::wstring ini = folder_.wideFile("inst/Set.ini");

    Utils::WriteInstallInfo(paths);
    const std::wstring first = readIniString(ini, L"Install", L"DeviceID", L"", kBufferUnits);
    Utils::WriteInstallInfo(paths);
    const std::wstring second = readIniString(ini, L"Install", L"DeviceID", L"", kBufferUnits);

    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(second.size(), 32u);
    EXPECT_NE(first, second);
    const std::string text = folder_.read("inst/Set.ini");
    EXPECT_EQ(text.find("DeviceID="), text.rfind("DeviceID=")) << "one DeviceID line: " << text;
    EXPECT_NE(text.find("IsOverride=false"), std::string::npos) << "the rest of the file stays";
    EXPECT_FALSE(std::filesystem::exists(folder_.path() / "inst/set.ini"));
}

TEST_F(InstallRecordsTest, UncreatableAnalyticsFolderSkipsTheAnalyticsKey) {
    // A file where the data folder should be: nothing can be created below it.
    const ScopedEnv env{{"XDG_DATA_HOME", folder_.write("blocker", "")}};
    InstallRecordPaths paths;
    paths.installDir = installDir();
    Utils::WriteInstallInfo(paths);

    const std::wstring ini = folder_.wideFile("inst/set.ini");
    EXPECT_EQ(readIniString(ini, L"Install", L"AppName", L"", kBufferUnits), L"BrivanoPhotoEditor");
    EXPECT_EQ(readIniString(ini, L"Install", L"KOUsageAnalyticsIni", L"none", kBufferUnits),
              L"none");
}

TEST_F(InstallRecordsTest, IsOverrideDisabledOnlyForExactlyFalseInTheRecordedFolder) {
    const std::wstring recorded = installDir();
    const struct {
        const char* what;
        const char* iniName;  // nullptr: no INI
        const char* iniText;
        std::wstring recordedFolder;
        std::wstring target;
        bool expected;
    } rows[] = {
        {"false", "set.ini", "[Uninstall]\nIsOverride=false\n", recorded, recorded, true},
        {"capital F", "set.ini", "[Uninstall]\nIsOverride=False\n", recorded, recorded, false},
        {"true", "set.ini", "[Uninstall]\nIsOverride=true\n", recorded, recorded, false},
        {"absent key", "set.ini", "[Install]\nAppName=x\n", recorded, recorded, false},
        {"no INI", nullptr, "", recorded, recorded, false},
        {"product spelling", "Set.ini", "[uninstall]\n isoverride = false \n", recorded, recorded,
         true},
        {"same folder spelled with a trailing separator", "set.ini",
         "[Uninstall]\nIsOverride=false\n", recorded + L"/", recorded, true},
        {"same folder through a dot step", "set.ini", "[Uninstall]\nIsOverride=false\n", recorded,
         folder_.wideFile("./inst"), true},
        {"another folder", "set.ini", "[Uninstall]\nIsOverride=false\n", folder_.wideFile("other"),
         recorded, false},
        {"nothing recorded", "set.ini", "[Uninstall]\nIsOverride=false\n", L"", recorded, false},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(folder_.path() / "inst/set.ini");
        std::filesystem::remove(folder_.path() / "inst/Set.ini");
        if (row.iniName != nullptr) {
            folder_.write(std::string("inst/") + row.iniName, row.iniText);
        }
        InstallRecordPaths paths;
        paths.recordedInstallPath = row.recordedFolder;
        EXPECT_EQ(Utils::IsOverrideDisabled(row.target, paths), row.expected) << row.what;
    }

    // Folder names are bytes, whatever the process locale makes of them.
    const std::string nonAscii = "\xc3\xa4\xe4\xb8\xad";
    std::filesystem::create_directory(folder_.path() / nonAscii);
    folder_.write(nonAscii + "/set.ini", "[Uninstall]\nIsOverride=false\n");
    InstallRecordPaths paths;
    paths.recordedInstallPath = platform::widePath(folder_.file(nonAscii));
    EXPECT_TRUE(Utils::IsOverrideDisabled(paths.recordedInstallPath, paths));
}

TEST(InstallRecordsPaths, AnalyticsDataDirIsBelowTheDataFolder) {
    const ScopedEnv env{{"XDG_DATA_HOME", "/data/home"}};
    EXPECT_EQ(Utils::GetAnalyticsDataDir(), L"/data/home/PeltaData/BrivanoPhotoEditor");
}

}  // namespace

#include "settings/installer_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/temp_folder.h"

namespace {

using test_support::TempFolder;

constexpr char kIniName[] = "PeltaInstallerConfig.ini";

class InstallerSettingsTest : public ::testing::Test {
protected:
    // The record as built for an executable in the temp folder, with or without an INI file.
    InstallerSettings build() const { return InstallerSettings(folder_.wideFile("setup")); }
    void writeIni(const std::string& text) const { folder_.write(kIniName, text); }

    TempFolder folder_;
};

TEST_F(InstallerSettingsTest, DefaultsStandWithoutIniFile) {
    const InstallerSettings s = build();
    EXPECT_EQ(s.AppId, L"BrivanoPhotoEditor");
    EXPECT_EQ(s.AppVersion, L"1.7.9");
    EXPECT_EQ(s.ExeName, L"setup");
    EXPECT_EQ(s.DlAppNameSuffix, L".downloader");
    EXPECT_EQ(s.DlAppVersion, L"");
    EXPECT_EQ(s.InstCmd, L"");
    EXPECT_EQ(s.DownloadUrl, kBuiltInDownloadUrl);
    EXPECT_TRUE(std::wstring(kBuiltInDownloadUrl).ends_with(L"/software/327"));
    EXPECT_EQ(s.DownloadType, 1);
    EXPECT_FALSE(s.IsCheckNet);
    EXPECT_TRUE(s.IsEnableAppUsage);
    EXPECT_DOUBLE_EQ(s.DownloadScale, 0.7);
    EXPECT_TRUE(s.IsCurlReady);
    EXPECT_EQ(s.AbValue, L"IN");
}

TEST_F(InstallerSettingsTest, EmptySectionTurnsOnlyTheNetworkCheckOn) {
    writeIni("[Install]\n");
    const InstallerSettings s = build();
    EXPECT_TRUE(s.IsCheckNet);
    EXPECT_TRUE(s.IsEnableAppUsage);
    EXPECT_EQ(s.DownloadType, 1);
    EXPECT_DOUBLE_EQ(s.DownloadScale, 0.7);
    EXPECT_EQ(s.DownloadUrl, kBuiltInDownloadUrl);
    EXPECT_EQ(s.DlAppNameSuffix, L".downloader");
}

TEST_F(InstallerSettingsTest, FullIniOverridesEveryKeyButTheFixedOnes) {
    writeIni(
        "[Install]\r\n"
        "DownloadUrl=http://127.0.0.1:9/a/${ROUTE}/b?r=${ROUTE}&x=1\r\n"
        "DownloadType=3\r\n"
        "IsCheckNet=false\r\n"
        "IsEnableAppUsage=false\r\n"
        "DlAppNameSuffix=.dl\r\n"
        "m_DlAppVersion=2.0\r\n"
        "DownloadScale=0.25 of the bar\r\n"
        "InstCmd=/quiet\r\n"
        "AppId=Other\r\nAppVersion=9\r\n");
    const InstallerSettings s = build();
    EXPECT_EQ(s.DownloadUrl, L"http://127.0.0.1:9/a/download_silent/b?r=download_silent&x=1");
    EXPECT_EQ(s.DownloadType, 3);
    EXPECT_FALSE(s.IsCheckNet);
    EXPECT_FALSE(s.IsEnableAppUsage);
    EXPECT_EQ(s.DlAppNameSuffix, L".dl");
    EXPECT_EQ(s.DlAppVersion, L"2.0");
    EXPECT_DOUBLE_EQ(s.DownloadScale, 0.25);
    EXPECT_EQ(s.InstCmd, L"/quiet");
    EXPECT_EQ(s.AppId, L"BrivanoPhotoEditor");
    EXPECT_EQ(s.AppVersion, L"1.7.9");
}

TEST_F(InstallerSettingsTest, PresentButEmptyKeysGiveEmptyTextsNotDefaults) {
    writeIni("[Install]\nDownloadUrl=\nDownloadScale=\nIsEnableAppUsage=\nIsCheckNet=TRUE\n");
    const InstallerSettings s = build();
    EXPECT_EQ(s.DownloadUrl, L"");
    EXPECT_DOUBLE_EQ(s.DownloadScale, 0.0);
    EXPECT_FALSE(s.IsEnableAppUsage);
    EXPECT_FALSE(s.IsCheckNet);  // only the exact text "true" is true
}

TEST_F(InstallerSettingsTest, IniNumbersThatAreNotNumbers) {
    const struct {
        const char* ini;
        int type;
        double scale;
    } cases[] = {
        {"[Install]\nDownloadType=abc\nDownloadScale=abc\n", 0, 0.0},
        {"[Install]\nDownloadType=2x\nDownloadScale= 0.5x\n", 2, 0.5},
        {"[Install]\nDownloadType=99999999999\nDownloadScale=1e999\n",
         std::numeric_limits<int>::max(), std::numeric_limits<double>::max()},
    };
    for (const auto& c : cases) {
        writeIni(c.ini);
        const InstallerSettings s = build();
        EXPECT_EQ(s.DownloadType, c.type) << c.ini;
        EXPECT_DOUBLE_EQ(s.DownloadScale, c.scale) << c.ini;
    }
}

TEST_F(InstallerSettingsTest, LongIniValuesAreCutTo259Characters) {
    writeIni("[Install]\nInstCmd=" + std::string(300, 'x') + "\n");
    EXPECT_EQ(build().InstCmd, std::wstring(259, L'x'));
}

TEST_F(InstallerSettingsTest, CommandLineOverridesIniAndDefaults) {
    writeIni("[Install]\nDownloadType=2\nIsCheckNet=false\nDlAppNameSuffix=.ini\n");
    InstallerSettings s = build();
    s.ApplyCommandLine({L"/opt/setup", L"-downloadtype=3", L"-ischecknet=true",
                        L"-downloadscale=0.5", L"-isenableappusage=false", L"-dlappnamesuffix=.x",
                        L"-dlappversion=3.1", L"-instcmd=/a b",
                        L"-downloadurl=http://127.0.0.1:9/p?a=1&b=2=3"});
    EXPECT_EQ(s.DownloadType, 3);
    EXPECT_TRUE(s.IsCheckNet);
    EXPECT_DOUBLE_EQ(s.DownloadScale, 0.5);
    EXPECT_FALSE(s.IsEnableAppUsage);
    EXPECT_EQ(s.DlAppNameSuffix, L".x");
    EXPECT_EQ(s.DlAppVersion, L"3.1");
    EXPECT_EQ(s.InstCmd, L"/a b");
    EXPECT_EQ(s.DownloadUrl, L"http://127.0.0.1:9/p?a=1&b=2=3");
}

TEST_F(InstallerSettingsTest, CommandLineValueRules) {
    const struct {
        const char* name;
        std::vector<std::wstring> arguments;
        int type;
        bool checkNet;
    } cases[] = {
        {"first occurrence wins", {L"-downloadtype=2", L"-downloadtype=3"}, 2, false},
        {"keys keep their case", {L"-DownloadType=3", L"-IsCheckNet=true"}, 1, false},
        {"not a number", {L"-downloadtype=abc"}, 0, false},
        {"leading blanks and trailing text", {L"-downloadtype= 3rd"}, 3, false},
        {"beyond 32 bits clamps",
         {L"-downloadtype=-99999999999"},
         std::numeric_limits<int>::min(),
         false},
        {"capitalised True is false", {L"-ischecknet=True"}, 1, false},
        {"exact true", {L"-ischecknet=true"}, 1, true},
        {"key without value", {L"-ischecknet"}, 1, false},
        {"not an option", {L"ischecknet=true", L"--downloadtype=3"}, 1, false},
    };
    for (const auto& c : cases) {
        InstallerSettings s = build();
        std::vector<std::wstring> arguments{L"setup"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        s.ApplyCommandLine(arguments);
        EXPECT_EQ(s.DownloadType, c.type) << c.name;
        EXPECT_EQ(s.IsCheckNet, c.checkNet) << c.name;
    }
}

TEST_F(InstallerSettingsTest, CommandLineScaleThatIsNotANumberIsNan) {
    InstallerSettings s = build();
    s.ApplyCommandLine({L"setup", L"-downloadscale=half"});
    EXPECT_TRUE(std::isnan(s.DownloadScale));
    s = build();
    s.ApplyCommandLine({L"setup", L"-downloadscale=-1e400"});
    EXPECT_DOUBLE_EQ(s.DownloadScale, -std::numeric_limits<double>::max());
}

TEST_F(InstallerSettingsTest, DownloadUrlWithoutValueIsEmpty) {
    InstallerSettings s = build();
    s.ApplyCommandLine({L"setup", L"-downloadurl"});
    EXPECT_EQ(s.DownloadUrl, L"");
}

TEST_F(InstallerSettingsTest, NoOptionChangesTheFixedFields) {
    InstallerSettings s = build();
    s.ApplyCommandLine({L"setup", L"-appid=X", L"-AppId=X", L"-appversion=2"});
    EXPECT_EQ(s.AppId, L"BrivanoPhotoEditor");
    EXPECT_EQ(s.AppVersion, L"1.7.9");
}

}  // namespace

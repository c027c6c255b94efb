#include "settings/installer_settings.h"

#include <utility>

#include "platform/ini_file.h"
#include "platform/path.h"
#include "settings/command_line_args.h"
#include "settings/number_parsing.h"
#include "settings/url_routing.h"

#define BRIVANO_WIDEN_(text) L##text
#define BRIVANO_WIDEN(text) BRIVANO_WIDEN_(text)

const wchar_t* const kBuiltInDownloadUrl =
    L"http://" BRIVANO_WIDEN(BRIVANO_DOWNLOAD_HOST) L"/software/327";

InstallerSettings g_settings;

namespace {

constexpr wchar_t kAppId[] = L"BrivanoPhotoEditor";
constexpr wchar_t kAppVersion[] = L"1.7.9";

// Values are read into buffers of this many characters, so longer ones lose their tail.
constexpr std::size_t kIniValueBufferUnits = 260;

bool isTrue(const std::wstring& text) {
    return text == L"true";
}

}  // namespace

InstallerSettings::InstallerSettings() : InstallerSettings(platform::modulePath()) {}

InstallerSettings::InstallerSettings(const std::wstring& exePath) {
    SetDownloadUrl(kBuiltInDownloadUrl);
    if (!exePath.empty()) {
        ExeName = platform::fileNameOf(exePath);
    }

    const std::wstring ini =
        exePath.empty()
            ? std::wstring()
            : platform::findFileNoCase(platform::parentFolder(exePath), kSettingsIniName);
    if (!ini.empty() && platform::fileExists(ini)) {
        const auto read = [&ini](const wchar_t* key, const wchar_t* defaultValue) {
            return platform::readIniString(ini, kSettingsIniSection, key, defaultValue,
                                           kIniValueBufferUnits);
        };
        SetDownloadUrl(read(L"DownloadUrl", kBuiltInDownloadUrl));
        DownloadType = platform::readIniInt(ini, kSettingsIniSection, L"DownloadType", 1);
        // A file without the key asks for the check, unlike a missing file.
        IsCheckNet = isTrue(read(L"IsCheckNet", L"true"));
        IsEnableAppUsage = isTrue(read(L"IsEnableAppUsage", L"true"));
        DlAppNameSuffix = read(L"DlAppNameSuffix", L".downloader");
        DlAppVersion = read(L"m_DlAppVersion", L"");
        DownloadScale = settings::parseLeadingDouble(read(L"DownloadScale", L"0.7")).value_or(0.0);
        InstCmd = read(L"InstCmd", L"");
    }

    AppId = kAppId;
    AppVersion = kAppVersion;
}

void InstallerSettings::ApplyCommandLine(const std::vector<std::wstring>& arguments) {
    const settings::CommandLineArgs args(arguments);
    if (args.has(L"-downloadurl")) {
        SetDownloadUrl(args.text(L"-downloadurl"));
    }
    if (args.has(L"-downloadtype")) {
        DownloadType = args.integer(L"-downloadtype");
    }
    if (args.has(L"-downloadscale")) {
        DownloadScale = args.number(L"-downloadscale");
    }
    const std::pair<const wchar_t*, bool InstallerSettings::*> flags[] = {
        {L"-ischecknet", &InstallerSettings::IsCheckNet},
        {L"-isenableappusage", &InstallerSettings::IsEnableAppUsage},
    };
    for (const auto& [key, field] : flags) {
        if (args.has(key)) {
            this->*field = args.boolean(key);
        }
    }
    const std::pair<const wchar_t*, std::wstring InstallerSettings::*> texts[] = {
        {L"-dlappnamesuffix", &InstallerSettings::DlAppNameSuffix},
        {L"-dlappversion", &InstallerSettings::DlAppVersion},
        {L"-instcmd", &InstallerSettings::InstCmd},
    };
    for (const auto& [key, field] : texts) {
        if (args.has(key)) {
            this->*field = args.text(key);
        }
    }
}

void InstallerSettings::SetDownloadUrl(const std::wstring& text) {
    std::wstring name;
    std::wstring version;
    settings::GetWindowsVersionName(name, version);
    DownloadUrl = settings::routeDownloadUrl(text, version, settings::IsWow64());
}

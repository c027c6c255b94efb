#include "utils/install_records.h"

#include <cstdio>
#include <filesystem>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/ini_file.h"
#include "platform/path.h"
#include "platform/registry_store.h"
#include "platform/text_encoding.h"
#include "utils/system_probes.h"

namespace Utils {

namespace {

constexpr wchar_t kInstallPathValue[] = L"InstallPath";
constexpr wchar_t kUninstallPathValue[] = L"UnInstallEp";
constexpr wchar_t kUninstallFileName[] = L"uninst.ep";
// The product reads "Set.ini", the installer writes "set.ini": one file whatever its spelling.
constexpr wchar_t kInstallInfoFileName[] = L"set.ini";
constexpr wchar_t kInstallSection[] = L"Install";
constexpr wchar_t kUninstallSection[] = L"Uninstall";
constexpr wchar_t kInitSection[] = L"Init";
constexpr wchar_t kAppStoreKey[] = L"APPStore";
constexpr wchar_t kAppNameKey[] = L"AppName";
constexpr wchar_t kAppName[] = L"BrivanoPhotoEditor";
constexpr wchar_t kDeviceIdKey[] = L"DeviceID";
constexpr wchar_t kAnalyticsIniKey[] = L"KOUsageAnalyticsIni";
constexpr wchar_t kUpdateTimeKey[] = L"UpdateTime";
constexpr wchar_t kIsOverrideKey[] = L"IsOverride";
constexpr wchar_t kIsOverrideDefault[] = L"true";
constexpr wchar_t kIsOverrideDisabled[] = L"false";
constexpr std::size_t kIsOverrideBufferUnits = 20;
constexpr wchar_t kAnalyticsVendorFolder[] = L"PeltaData";
constexpr wchar_t kAnalyticsProductFolder[] = L"BrivanoPhotoEditor";
constexpr wchar_t kAnalyticsIniName[] = L"KOUsageAnalytics.ini";
constexpr std::size_t kUtf16UnitBytes = 2;
constexpr std::size_t kTimeTextBytes = 64;

// The UTF-16 units before the first zero unit, read the way a zero-filled buffer one unit larger
// than the data would show them (an odd last byte gets a zero high byte).
std::wstring textBeforeFirstZero(std::string bytes) {
    if (bytes.size() % kUtf16UnitBytes != 0) {
        bytes += '\0';
    }
    for (std::size_t at = 0; at < bytes.size(); at += kUtf16UnitBytes) {
        if (bytes[at] == '\0' && bytes[at + 1] == '\0') {
            bytes.resize(at);
            break;
        }
    }
    return platform::wideFromUtf16le(bytes);
}

std::wstring localTimeText() {
    const platform::LocalTime now = platform::localTimeNow();
    char text[kTimeTextBytes] = {};
    std::snprintf(text, sizeof(text), "%d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    return platform::wideFromUtf8(text);
}

// The folder the way two spellings of it compare equal: no "." or ".." steps, no doubled or
// trailing separators. Built from the native bytes: a wide path would go through the process
// locale, which throws on non-ASCII names in the C locale.
std::filesystem::path normalFolder(const std::wstring& folder) {
    std::filesystem::path path =
        std::filesystem::path(platform::nativePath(folder)).lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) {
        path = path.parent_path();
    }
    return path;
}

}  // namespace

bool ReadRecordValue(const std::wstring& name, std::uint32_t& type, std::wstring& text) {
    std::optional<platform::RegistryValue> value =
        platform::readRegistryValue(kInstallRecordsKey, name);
    if (!value) {
        return false;
    }
    type = value->type;
    text = textBeforeFirstZero(std::move(value->bytes));
    return true;
}

bool WriteRecordValue(const std::wstring& name, const std::wstring& text) {
    return platform::writeRegistryValue(kInstallRecordsKey, name, platform::kRegSz,
                                        platform::utf16leFromWide(text));
}

void ReadInstallRecords(InstallRecordPaths& paths) {
    paths.recordedInstallPath.clear();
    paths.recordedUninstallPath.clear();
    std::uint32_t type = 0;
    ReadRecordValue(kInstallPathValue, type, paths.recordedInstallPath);
    ReadRecordValue(kUninstallPathValue, type, paths.recordedUninstallPath);
    if (paths.recordedUninstallPath.empty() && !paths.recordedInstallPath.empty()) {
        paths.recordedUninstallPath =
            platform::joinPath(paths.recordedInstallPath, kUninstallFileName);
    }
}

void WriteInstallRecords(InstallRecordPaths& paths) {
    WriteRecordValue(kInstallPathValue, paths.installDir);
    if (paths.uninstallerPath.empty()) {
        paths.uninstallerPath = platform::joinPath(paths.installDir, kUninstallFileName);
    }
    if (platform::fileExists(paths.uninstallerPath)) {
        WriteRecordValue(kUninstallPathValue, paths.uninstallerPath);
    }
}

// The INI writes need no locale: they write UTF-8 themselves, so the process locale (which the
// install worker's decoding depends on) is left alone.
void WriteInstallInfo(const InstallRecordPaths& paths) {
    const std::wstring ini = platform::findFileNoCase(paths.installDir, kInstallInfoFileName);
    platform::writeIniString(ini, kInstallSection, kAppStoreKey,
                             platform::fileNameOf(platform::modulePath()));
    platform::writeIniString(ini, kInstallSection, kAppNameKey, kAppName);
    platform::writeIniString(ini, kInstallSection, kDeviceIdKey, NewGuidString());

    const std::wstring folder = GetAnalyticsDataDir();
    if (folder.empty() || !CreateDirectoryTree(folder)) {
        return;
    }
    const std::wstring analyticsIni = platform::joinPath(folder, kAnalyticsIniName);
    platform::writeIniString(ini, kInstallSection, kAnalyticsIniKey, analyticsIni);
    platform::writeIniString(analyticsIni, kInitSection, kUpdateTimeKey, localTimeText());
}

bool IsOverrideDisabled(const std::wstring& folder, const InstallRecordPaths& paths) {
    if (paths.recordedInstallPath.empty() || folder.empty() ||
        normalFolder(paths.recordedInstallPath) != normalFolder(folder)) {
        return false;
    }
    const std::wstring ini = platform::findFileNoCase(folder, kInstallInfoFileName);
    return platform::readIniString(ini, kUninstallSection, kIsOverrideKey, kIsOverrideDefault,
                                   kIsOverrideBufferUnits) == kIsOverrideDisabled;
}

std::wstring GetAnalyticsDataDir() {
    const std::wstring dataFolder = platform::dataHomeFolder();
    if (dataFolder.empty()) {
        return {};
    }
    return platform::joinPath(platform::joinPath(dataFolder, kAnalyticsVendorFolder),
                              kAnalyticsProductFolder);
}

}  // namespace Utils

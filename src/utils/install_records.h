#pragma once

#include <cstdint>
#include <string>

// What an installation leaves behind so that later installers of the product can find it: two
// values in the current user's registry store, "set.ini" in the installed folder, and the
// analytics INI the installed product's tracker reads. Every failure is silent; the caller sees
// empty recorded paths or the old file content.
namespace Utils {

inline constexpr wchar_t kInstallRecordsKey[] = L"Software\\PeltaSoft\\BrivanoPhotoEditor";

// The four paths of the main window these operations work on. The window owns them and hands
// them in, so this layer knows nothing of the window.
struct InstallRecordPaths {
    std::wstring recordedInstallPath;    // filled by ReadInstallRecords
    std::wstring recordedUninstallPath;  // filled by ReadInstallRecords
    std::wstring installDir;             // the folder being installed into
    std::wstring uninstallerPath;        // the package's uninstall data file, if it reported one
};

// The value's text up to its first zero character, whatever its type. False (text untouched)
// when the key or the value does not exist.
bool ReadRecordValue(const std::wstring& name, std::uint32_t& type, std::wstring& text);

// Stores the text as REG_SZ without a terminating zero (2 bytes per UTF-16 unit).
bool WriteRecordValue(const std::wstring& name, const std::wstring& text);

// Fills the two recorded paths; without a recorded uninstall file it is assumed to be "uninst.ep"
// in the recorded folder.
void ReadInstallRecords(InstallRecordPaths& paths);

// Records installDir, and the uninstall file when it exists; an empty uninstallerPath is set to
// "uninst.ep" in installDir first.
void WriteInstallRecords(InstallRecordPaths& paths);

// Writes set.ini into installDir (with a new device identifier every time) and, when the analytics
// folder exists or can be created, the analytics INI with the current local time.
void WriteInstallInfo(const InstallRecordPaths& paths);

// True only when folder is the recorded install folder and its set.ini says exactly "false" for
// [Uninstall] IsOverride: the old version is then not uninstalled first.
bool IsOverrideDisabled(const std::wstring& folder, const InstallRecordPaths& paths);

// The product's folder in the per-user data folder; empty when there is no home to put it in.
std::wstring GetAnalyticsDataDir();

}  // namespace Utils

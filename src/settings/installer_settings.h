#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The one process-wide settings record: which product is installed, where its package comes from,
// how it is downloaded, and whether analytics reports. Filled in three layers, each overriding the
// one before: built-in defaults, PeltaInstallerConfig.ini beside the executable (both while the
// record is constructed during static initialisation), then the command line, applied once by the
// process entry. Afterwards every thread only reads it, without locking.
struct InstallerSettings {
    // Builds the record for the running executable.
    InstallerSettings();
    // Builds the record as if the executable were at exePath (its folder holds the INI file).
    explicit InstallerSettings(const std::wstring& exePath);

    // Applies the options of the process's arguments (the program path first). They arrive
    // already split, one entry per argument.
    void ApplyCommandLine(const std::vector<std::wstring>& arguments);

    // The only way DownloadUrl is assigned: stores the text with its route chosen.
    void SetDownloadUrl(const std::wstring& text);

    std::wstring AppId = L"BrivanoPhotoEditor";
    std::wstring AppVersion = L"1.7.9";
    std::wstring ExeName = L"NULL";
    std::wstring DlAppNameSuffix = L".downloader";
    std::wstring DlAppVersion;
    std::wstring InstCmd;
    std::wstring DownloadUrl;
    std::int32_t DownloadType = 1;
    bool IsCheckNet = false;
    bool IsEnableAppUsage = true;
    double DownloadScale = 0.7;
    bool IsCurlReady = true;
    std::wstring AbValue = L"IN";
};

inline constexpr wchar_t kSettingsIniName[] = L"PeltaInstallerConfig.ini";
inline constexpr wchar_t kSettingsIniSection[] = L"Install";

// The package's address on the maker's download server; the host is chosen at build time.
extern const wchar_t* const kBuiltInDownloadUrl;

extern InstallerSettings g_settings;

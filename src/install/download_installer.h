#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "download/downloader.h"
#include "install/installer.h"
#include "install/uninstaller.h"

// The whole installation job for the main window: an older version's uninstaller first when one
// is installed, then the download of the package into the install folder, then the package run,
// and the package file removed afterwards. Every event of the three workers reaches the owner
// unchanged, on the worker's thread, before the pipeline takes its next step.
class CDownloadInstaller {
public:
    CDownloadInstaller(PipelineCallback ownerCallback, std::wstring downloadUrl,
                       std::wstring oldUninstallerPath, std::wstring installFolder,
                       bool desktopShortcut, bool quickLaunch, bool consoleAdmin);
    // Waits for the workers in the order in which they hand work on: uninstaller, downloader,
    // package runner.
    ~CDownloadInstaller();
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    // Replaces the inputs of the next Start(). The downloader keeps the URL and package path of
    // the first Start().
    void SetParams(std::wstring downloadUrl, std::wstring oldUninstallerPath,
                   std::wstring installFolder, bool desktopShortcut, bool quickLaunch,
                   bool consoleAdmin, bool elevated);

    // Begins a new attempt and returns at once. Called again only after the previous attempt
    // ended in a final event.
    void Start();

    // Where the package is downloaded to: "__Package_BrivanoPhotoEditor.exe" in the install
    // folder, whatever the configured application id.
    std::wstring GetPackagePath() const;

private:
    void OnDownloadEvent(std::int32_t code, double value, const wchar_t* text);
    void OnInstallEvent(std::int32_t code, double value, const wchar_t* text);
    void OnUninstallEvent(std::int32_t code, double value, const wchar_t* text);
    void CleanUpPackage();

    std::unique_ptr<CUninstaller> uninstaller_;
    std::unique_ptr<CDownloader> downloader_;
    std::unique_ptr<CInstaller> installer_;
    std::wstring downloadUrl_;
    std::wstring oldUninstallerPath_;
    std::wstring installFolder_;
    // The clean-up after a final event may still run on a worker when the owner starts the
    // next attempt.
    std::mutex packagePathMutex_;
    std::wstring packagePath_;
    InstallFlags flags_;
    PipelineCallback ownerCallback_;
};

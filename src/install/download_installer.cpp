#include "install/download_installer.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "download/download_codes.h"
#include "download/downloader_factory.h"
#include "install/install_codes.h"
#include "platform/file_copy.h"
#include "platform/path.h"
#include "settings/installer_settings.h"
#include "utils/log.h"
#include "utils/system_probes.h"

namespace {

constexpr wchar_t kPackageFileName[] = L"__Package_BrivanoPhotoEditor.exe";
constexpr wchar_t kUninstallerCopyName[] = L"BrivanoPhotoEditor_un_asa.exe";
constexpr wchar_t kDownloadHandler[] = L"CDownloadInstaller::Start::DownloadHandler::operator ()";
constexpr wchar_t kInstallHandler[] = L"CDownloadInstaller::Start::InstallHandler::operator ()";
constexpr wchar_t kUninstallHandler[] = L"CDownloadInstaller::Start::UninstallHandler::operator ()";

// The package removed last, by whichever pipeline: a retry into another folder also removes the
// package the earlier attempt left behind.
std::mutex lastDeletedPackageMutex;
std::wstring lastDeletedPackagePath;

void deleteFile(const std::wstring& path) {
    std::remove(platform::nativePath(path).c_str());
}

}  // namespace

CDownloadInstaller::CDownloadInstaller(PipelineCallback ownerCallback, std::wstring downloadUrl,
                                       std::wstring oldUninstallerPath, std::wstring installFolder,
                                       bool desktopShortcut, bool quickLaunch, bool consoleAdmin)
    : downloadUrl_(std::move(downloadUrl)),
      oldUninstallerPath_(std::move(oldUninstallerPath)),
      installFolder_(std::move(installFolder)),
      flags_{desktopShortcut, quickLaunch, consoleAdmin, false},
      ownerCallback_(std::move(ownerCallback)) {}

CDownloadInstaller::~CDownloadInstaller() {
    // Each phase starts the next from its own thread, so a worker is joined only once nothing
    // that runs can still hand work to it.
    uninstaller_.reset();
    downloader_.reset();
    installer_.reset();
}

void CDownloadInstaller::SetParams(std::wstring downloadUrl, std::wstring oldUninstallerPath,
                                   std::wstring installFolder, bool desktopShortcut,
                                   bool quickLaunch, bool consoleAdmin, bool elevated) {
    downloadUrl_ = std::move(downloadUrl);
    oldUninstallerPath_ = std::move(oldUninstallerPath);
    installFolder_ = std::move(installFolder);
    flags_ = {desktopShortcut, quickLaunch, consoleAdmin, elevated};
}

std::wstring CDownloadInstaller::GetPackagePath() const {
    return platform::joinPath(installFolder_, kPackageFileName);
}

void CDownloadInstaller::Start() {
    {
        const std::lock_guard lock(packagePathMutex_);
        packagePath_ = GetPackagePath();
    }
    Utils::Log({L"CDownloadInstaller::Start"}, L"DL_TYPE=%d\r\n", g_settings.DownloadType);
    if (!downloader_) {
        downloader_ = createDownloader(
            g_settings.DownloadType,
            [this](std::int32_t code, double value, const wchar_t* text) {
                OnDownloadEvent(code, value, text);
            },
            downloadUrl_, packagePath_);
    }
    if (!installer_) {
        installer_ = std::make_unique<CInstaller>(
            [this](std::int32_t code, double value, const wchar_t* text) {
                OnInstallEvent(code, value, text);
            },
            L"\"" + packagePath_ + L"\"", installFolder_);
    }
    installer_->SetInstallFolder(installFolder_);
    installer_->SetFlags(flags_);

    if (!oldUninstallerPath_.empty() && platform::fileExists(oldUninstallerPath_)) {
        const std::wstring tempFolder = Utils::GetInstallerTempDir();
        const std::wstring copyPath =
            tempFolder.empty() ? std::wstring() : tempFolder + kUninstallerCopyName;
        // Without a complete copy the runner finds no file and reports it; a stale copy from an
        // earlier run is never run in its place.
        platform::copyProgramFile(oldUninstallerPath_, copyPath);
        uninstaller_ = std::make_unique<CUninstaller>(
            [this](std::int32_t code, double value, const wchar_t* text) {
                OnUninstallEvent(code, value, text);
            },
            copyPath, platform::parentFolder(oldUninstallerPath_));
        uninstaller_->Start();
        return;
    }
    downloader_->StartDownload();
}

void CDownloadInstaller::OnDownloadEvent(std::int32_t code, double value, const wchar_t* text) {
    ownerCallback_(code, value, text);
    switch (code) {
        case DL_CODE_START:
            Utils::CreateDirectoryTree(installFolder_);
            Utils::Log({kDownloadHandler}, L"DL_CODE_START\r\n");
            break;
        case DL_CODE_PROGRESS:
            Utils::Log({kDownloadHandler}, L"DL_CODE_PROGRESS\r\n");
            break;
        case DL_CODE_SUCCESS:
            Utils::Log({kDownloadHandler}, L"DOWNLOAD_SUCCESS\r\n");
            installer_->Start();
            Utils::Log({kDownloadHandler}, L"DL_CODE_SUCCESS\r\n");
            break;
        case DL_CODE_FAIL:
            CleanUpPackage();
            Utils::Log({kDownloadHandler}, L"DL_CODE_FAIL\r\n");
            break;
        case DL_CODE_RETRY:
            Utils::Log({kDownloadHandler}, L"DL_CODE_RETRY\r\n");
            downloader_->StartDownload();
            break;
        default:
            break;
    }
}

void CDownloadInstaller::OnInstallEvent(std::int32_t code, double value, const wchar_t* text) {
    ownerCallback_(code, value, text);
    switch (code) {
        case IST_CODE_START:
            Utils::Log({kInstallHandler}, L"IST_CODE_START\r\n");
            break;
        case INSTALL_SUCCESS:
            CleanUpPackage();
            Utils::Log({kInstallHandler}, L"INSTALL_SUCCESS\r\n");
            break;
        case IST_CODE_FAIL:
            CleanUpPackage();
            Utils::Log({kInstallHandler}, L"IST_CODE_FAIL\r\n");
            break;
        default:
            break;
    }
}

void CDownloadInstaller::OnUninstallEvent(std::int32_t code, double value, const wchar_t* text) {
    ownerCallback_(code, value, text);
    switch (code) {
        case UNIST_CODE_PROGRESS:
            Utils::Log({kUninstallHandler}, L"UNIST_CODE_PROGRESS\r\n");
            break;
        case UNIST_CODE_SUCCESS:
            Utils::Log({kUninstallHandler}, L"UNIST_CODE_SUCCESS\r\n");
            if (installer_) {
                downloader_->StartDownload();
            }
            break;
        case UNIST_CODE_FAIL:
            Utils::Log({kUninstallHandler}, L"UNIST_CODE_FAIL\r\n");
            break;
        case UNIST_CODE_ERROR:
            Utils::Log({kUninstallHandler}, L"UNIST_CODE_ERROR\r\n");
            break;
        default:
            break;
    }
}

void CDownloadInstaller::CleanUpPackage() {
    std::wstring packagePath;
    {
        const std::lock_guard lock(packagePathMutex_);
        packagePath = packagePath_;
    }
    deleteFile(packagePath);
    const std::lock_guard lock(lastDeletedPackageMutex);
    if (!lastDeletedPackagePath.empty()) {
        deleteFile(lastDeletedPackagePath);
    }
    lastDeletedPackagePath = std::move(packagePath);
}

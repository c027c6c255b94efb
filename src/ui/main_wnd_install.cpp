#include <cstdint>

#include "settings/installer_settings.h"
#include "toolkit/tab_layout.h"
#include "ui/main_wnd.h"
#include "ui/message_box_wnd.h"
#include "usage/app_usage.h"
#include "utils/system_probes.h"

namespace {

constexpr wchar_t kUninstallCompanionName[] = L"BrivanoPhotoEditor_un_asa.exe";
constexpr wchar_t kNetworkCheckThreadName[] = L"ABDEF";
constexpr double kMinFreeGb = 1.0;
// The network state travels in the high half of the probe's answer; 0 means internet access.
constexpr unsigned kNetworkStateShift = 16;

}  // namespace

bool CMainWnd::StartInstall(const std::wstring& folder, bool desktopShortcut, bool quickLaunch) {
    if (Utils::FindProcessId(kUninstallCompanionName) != 0) {
        showAlreadyRunningPrompt();
        if (existingInstall_) {
            close(1);
        }
        return false;
    }
    if (Utils::FindProcessId(kProductExeName) != 0) {
        showAlreadyRunningPrompt();
        close(1);
        return false;
    }
    if (customeInstallBtn_ != nullptr) {
        customeInstallBtn_->setEnabled(false);
    }
    ++attempts_;

    if (!Utils::CreateDirectoryTree(folder)) {
        ShowPrompt(*this, skinFrameParams(kMessageBox2Wnd), L"无效路径", L"温馨提示");
        sendInstall(false, false);
        return false;
    }
    if (static_cast<double>(freeBytesOn(folder)) / kBytesPerGb < kMinFreeGb) {
        ShowPrompt(*this, skinFrameParams(kMessageBox2Wnd),
                   L"当前磁盘剩余空间低于1GB，请修改安装路径", L"温馨提示");
        sendInstall(false, false);
        return false;
    }

    records_.installDir = folder;
    std::wstring oldUninstaller = records_.recordedUninstallPath;
    if (Utils::IsOverrideDisabled(folder, records_)) {
        oldUninstaller.clear();
    }
    pipeline_->SetParams(g_settings.DownloadUrl, oldUninstaller, folder, desktopShortcut,
                         quickLaunch, consoleUserIsAdmin_, processIsAdmin_);

    if (!g_settings.IsCheckNet) {
        sendInstall(true, true);
        return true;
    }
    // The probe may take a while; it runs on a worker that knows nothing of the window but how
    // to post the answer to it.
    networkCheck_.reset();
    const SkinUI::WindowHandle window = handle();
    SkinUI::Control* const sender = root();
    SkinUI::Host& windowHost = host();
    networkCheck_ = std::make_unique<Utils::Thread>(
        nullptr, kNetworkCheckThreadName,
        [window, sender, &windowHost, probe = services_.networkProbe](void*) {
            const std::uint32_t answer = Utils::CheckNetwork(probe);
            window.postNotification(
                SkinUI::Notification{L"checknet", sender, windowHost.nowMs(), answer, 0});
        });
    networkCheck_->Resume();
    return true;
}

void CMainWnd::onCheckNet(std::uint32_t networkState) {
    const std::uint32_t status = networkState >> kNetworkStateShift;
    if (status != 0) {
        ShowPrompt(*this, skinFrameParams(kMessageBox2Wnd),
                   L"当前网络环境较差，请在网络通畅时进行安装", L"温馨提示");
    }
    sendInstall(status == 0, false);
}

void CMainWnd::BeginInstall(bool ok) {
    // A second "install" queued by a quick second click must not start the running job again.
    if (ok && selectedPage() != kInstallingPage) {
        savedPage_ = selectedPage();
        selectPage(kInstallingPage);
        AppUsageTrackInstallingView(AppUsageExtras{{L"AB", g_settings.AbValue}});
        pipeline_->Start();
    }
    if (customeInstallBtn_ != nullptr) {
        customeInstallBtn_->setEnabled(true);
    }
}

void CMainWnd::sendInstall(bool ok, bool async) {
    sendNotify(root(), L"install", ok ? 1 : 0, 0, async);
}

std::uint64_t CMainWnd::freeBytesOn(const std::wstring& folder) const {
    return services_.freeBytes(folder).value_or(0);
}

std::optional<std::uint64_t> freeBytesOnDisk(const std::wstring& folder) {
    Utils::HardDiskManager disk;
    if (!disk.CheckFreeSpace(folder)) {
        return std::nullopt;
    }
    return disk.freeBytesToCaller();
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "install/install_codes.h"
#include "platform/file_handles.h"
#include "platform/path.h"
#include "settings/installer_settings.h"
#include "toolkit/check_box.h"
#include "toolkit/label.h"
#include "toolkit/progress.h"
#include "toolkit/tab_layout.h"
#include "ui/main_wnd.h"
#include "ui/message_box_wnd.h"
#include "utils/log.h"
#include "utils/system_probes.h"

namespace {

constexpr wchar_t kProgressFormat[] = L"正在安装中:%d%%，请稍候...";
constexpr wchar_t kSlowProgressFormat[] = L"正在安装中:%d%%，请耐心等待...";
constexpr wchar_t kProgressResetText[] = L"正在安装中:0%，请稍候...";
constexpr wchar_t kFinishedForeImage[] = L"res\\mainWnd\\installPrg3.png";
constexpr std::size_t kProgressTextChars = 250;
constexpr std::size_t kReasonChars = 200;
constexpr double kSlowDownloadSec = 60.0;
constexpr double kInstallStep = 0.15;
constexpr double kInstallCeiling = 0.95;
constexpr int kProgressResetThreshold = 70;
constexpr int kPercentMax = 100;
constexpr double kMsPerSec = 1000.0;

// Percent for the bar and the label from a fraction of the whole: defined for every value a
// package or an option can produce (NaN counts as nothing done, infinities are clamped).
int percentOf(double fraction) {
    const double percent = fraction * kPercentMax;
    if (std::isnan(percent)) {
        return 0;
    }
    return static_cast<int>(std::clamp(percent, 0.0, static_cast<double>(kPercentMax)));
}

// A package's delay in milliseconds as the system's timers take it: through a 64-bit integer
// (clamped, NaN as 0), then wrapped to 32 bits, so that -1 still means the longest period.
std::uint32_t delayMsOf(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kMin = static_cast<double>(std::numeric_limits<std::int64_t>::min());
    constexpr double kMax = static_cast<double>(std::numeric_limits<std::int64_t>::max());
    if (value <= kMin) {
        return static_cast<std::uint32_t>(std::numeric_limits<std::int64_t>::min());
    }
    if (value >= kMax) {
        return static_cast<std::uint32_t>(std::numeric_limits<std::int64_t>::max());
    }
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
}

// A code or a style from a double, truncated toward zero and clamped to 32 bits.
std::int32_t int32Of(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<std::int32_t>(
        std::clamp(std::trunc(value), static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                   static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

// Whether the package's folder lets us write: the old package is removed, a fresh file created
// and removed again.
const wchar_t* packageFolderAccess(const std::wstring& packagePath) {
    static constexpr wchar_t kReadable[] = L"可读";
    static constexpr wchar_t kNoPermission[] = L"无权限";
    const std::string path = platform::nativePath(packagePath);
    if (platform::fileExists(packagePath) && unlink(path.c_str()) != 0) {
        return kNoPermission;
    }
    constexpr mode_t kNewFileMode = 0644;
    platform::UniqueFd file(
        open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode));
    if (!file) {
        return kNoPermission;
    }
    file.reset();
    unlink(path.c_str());
    return kReadable;
}

}  // namespace

void CMainWnd::OnPipelineEvent(const PipelineEventRecord& record) {
    const double scale = g_settings.DownloadScale;
    switch (record.code) {
        case DL_CODE_START:
            if (!reportedStart_) {
                reportedStart_ = true;
                trackTask(L"下载器启动", L"", 0);
            }
            downloadStartMs_ = host().nowMs();
            downloadStarted_ = true;
            trackTask(L"开始下载大包", L"", 0);
            break;
        case DL_CODE_PROGRESS:
            updateProgress(percentOf(record.value * scale));
            break;
        case DL_CODE_SUCCESS:
            trackTask(L"大包下载完毕", L"", static_cast<float>(secondsSinceDownloadStarted()));
            break;
        case DL_CODE_FAIL:
            ReportDownloadFailure(record);
            startOver();
            break;
        case DL_CODE_REPORT:
            ReportInstallFailure(record, true);
            break;
        case IST_CODE_START:
            Utils::WriteInstallInfo(records_);
            break;
        case IST_CODE_PROGRESS:
            installFraction_ = std::min(installFraction_ + kInstallStep, kInstallCeiling);
            if (record.value > installFraction_) {
                installFraction_ = record.value;
            }
            updateProgress(percentOf((1 - scale) * installFraction_ + scale));
            break;
        case INSTALL_SUCCESS:
            trackTask(L"安装成功", L"", 0);
            if (installPrg_ != nullptr) {
                installPrg_->setValue(kPercentMax);
                const std::wstring finishedImage =
                    platform::joinPath(platform::parentFolder(platform::modulePath()),
                                       platform::toPlatformSeparators(kFinishedForeImage));
                if (platform::fileExists(finishedImage)) {
                    installPrg_->setForeImage(kFinishedForeImage);
                    installPrg_->invalidate();
                }
            }
            if (softNameLbl_ != nullptr) {
                softNameLbl_->setText(L"Brivano");
                softNameLbl_->setVisible(true);
            }
            selectPage(kFinishedPage);
            installState_ = kFinished;
            OnInstallSucceeded();
            break;
        case IST_CODE_FAIL:
            ReportInstallFailure(record, false);
            // The package's text is shown as it came: a label never interprets it.
            ShowPrompt(*this, skinFrameParams(kMessageBox2Wnd),
                       record.text.empty() ? std::wstring(L"安装失败") : record.text, L"温馨提示");
            installState_ = kBackAfterFailure;
            if (installPrg_ != nullptr && installPrg_->value() >= kProgressResetThreshold) {
                if (progressLb_ != nullptr) {
                    progressLb_->setText(kProgressResetText);
                }
                installPrg_->setValue(0);
            }
            selectPage(kQuickPage);
            break;
        case IST_CODE_INST_PATH:
            records_.installDir = record.text;
            break;
        case IST_CODE_EXE_PATH:
            productExePath_ = record.text;
            break;
        case IST_CODE_UNINST_EP:
            records_.uninstallerPath = record.text;
            break;
        case IST_CODE_START_URL:
            startUrl_ = record.text;
            break;
        case IST_CODE_STARTUP_STYLE:
            startupStyle_ = int32Of(record.value);
            break;
        case IST_CODE_TOP_SHOW_DETENTION:
            topShowDelayMs_ = delayMsOf(record.value);
            break;
        case IST_CODE_FINISH_CLOSE_DETENTION:
            finishCloseDelayMs_ = delayMsOf(record.value);
            break;
        case IST_CODE_MESSAGE:
            ShowPrompt(*this, skinFrameParams(kMessageBox1Wnd), record.text, L"消息");
            break;
        case UNIST_CODE_FAIL:
        case UNIST_CODE_ERROR:
            showAlreadyRunningPrompt();
            installState_ = kBackAfterFailure;
            selectPage(savedPage_);
            if (existingInstall_) {
                close(1);
            }
            break;
        default:
            break;
    }
}

// After a failed download: ask, then retry, go back, or leave.
void CMainWnd::startOver() {
    switch (ShowPrompt(*this, skinFrameParams(kNetworkTipWnd))) {
        case kPromptCancel:  // "稍后再试"
            if (existingInstall_) {
                close(1);
            }
            break;
        case kPromptOk:  // "重新安装"
            if (savedPage_ == kQuickPage) {
                StartInstall(GetDefaultInstallDir(), true, true);
            } else if (savedPage_ == kCustomPage) {
                StartInstall(GetCustomInstallDir(),
                             createDSCb_ != nullptr && createDSCb_->isSelected(),
                             createQSCb_ != nullptr && createQSCb_->isSelected());
            }
            break;
        default:
            break;
    }
    installState_ = kBackAfterFailure;
    selectPage(savedPage_);
}

void CMainWnd::updateProgress(std::int32_t percent) {
    const bool slow = secondsSinceDownloadStarted() > kSlowDownloadSec;
    const std::wstring& layoutFormat =
        progressLb_ != nullptr ? progressLb_->userData() : std::wstring();
    const wchar_t* format = !layoutFormat.empty() ? layoutFormat.c_str()
                            : slow                ? kSlowProgressFormat
                                                  : kProgressFormat;
    if (progressLb_ != nullptr) {
        progressLb_->setText(Utils::FormatText(kProgressTextChars, format, percent));
    }
    if (installPrg_ != nullptr) {
        installPrg_->setValue(percent);
    }
}

double CMainWnd::secondsSinceDownloadStarted() const {
    if (!downloadStarted_) {
        return 0.0;
    }
    return static_cast<double>(host().nowMs() - downloadStartMs_) / kMsPerSec;
}

void CMainWnd::OnInstallSucceeded() {
    Utils::WriteInstallRecords(records_);
    Utils::WriteInstallInfo(records_);
    if (startupStyle_ == 1) {
        LaunchProduct();
    }
    if (topShowDelayMs_ != 0) {
        setTimer(*root(), kTopShowTimerId, topShowDelayMs_);
    }
    if (finishCloseDelayMs_ != 0) {
        setTimer(*root(), kFinishCloseTimerId, finishCloseDelayMs_);
    }
}

void CMainWnd::onTimer(const SkinUI::Notification& notification) {
    if (notification.sender == nullptr || notification.sender != root()) {
        return;
    }
    if (notification.wParam == kTopShowTimerId) {
        bringToFront();
        killTimer(*root(), kTopShowTimerId);
    } else if (notification.wParam == kFinishCloseTimerId) {
        close(1);
        killTimer(*root(), kFinishCloseTimerId);
    }
}

void CMainWnd::ReportDownloadFailure(const PipelineEventRecord& record) {
    const std::wstring packagePath = pipeline_->GetPackagePath();
    const wchar_t* access = packageFolderAccess(packagePath);
    const double freeGb =
        static_cast<double>(freeBytesOn(platform::parentFolder(packagePath))) / kBytesPerGb;
    const std::uint32_t server = Utils::CheckNetwork(services_.networkProbe);
    const std::wstring reason = Utils::FormatText(
        kReasonChars,
        L"1.code=%ld；2.msg=%s；3.缓存磁盘容量=%.2fG；4.缓存读写权限=%s；5.服务器连接状态code=%d",
        int32Of(record.value), record.text, freeGb, access, static_cast<std::int32_t>(server));
    trackTask(L"下载失败原因", reason, 0);
}

void CMainWnd::ReportInstallFailure(const PipelineEventRecord& record, bool isDownload) {
    const std::wstring reason = Utils::FormatText(kReasonChars, L":1.code=%ld；2.msg=%s",
                                                  int32Of(record.value), record.text);
    trackTask(isDownload ? L"下载失败原因" : L"安装失败原因", reason, 0);
}

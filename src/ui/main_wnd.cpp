#include "ui/main_wnd.h"

#include <filesystem>
#include <utility>

#include "install/download_installer.h"
#include "platform/environment.h"
#include "platform/path.h"
#include "settings/installer_settings.h"
#include "toolkit/check_box.h"
#include "toolkit/edit.h"
#include "toolkit/label.h"
#include "toolkit/progress.h"
#include "toolkit/tab_layout.h"
#include "ui/message_box_wnd.h"
#include "ui/sequence_control_factory.h"
#include "ui/sequence_label.h"
#include "usage/app_usage.h"
#include "utils/system_probes.h"

#define BRIVANO_WIDEN_(text) L##text
#define BRIVANO_WIDEN(text) BRIVANO_WIDEN_(text)

namespace {

constexpr wchar_t kProductName[] = L"Brivano";
constexpr wchar_t kProductFolderName[] = L"BrivanoPhotoEditor";
constexpr wchar_t kAppDataVendorFolder[] = L"pelta";
constexpr wchar_t kOpenVerb[] = L"open";
constexpr wchar_t kTermsUrl[] = L"http://" BRIVANO_WIDEN(BRIVANO_WEB_HOST) L"/terms";
constexpr wchar_t kConverterUrl[] = L"http://" BRIVANO_WIDEN(BRIVANO_WEB_HOST) L"/converter";
constexpr wchar_t kChooseFolderTitle[] = L"选择一个文件夹";
constexpr std::size_t kMaxPathChars = 260;
// A start page shorter than this cannot be a URL worth opening.
constexpr std::size_t kMinStartUrlChars = 6;

// Backgrounds of the pages and the title strip's page for each, by main page.
constexpr const wchar_t* kPageBackgrounds[] = {L"res\\mainWnd\\bg1.png", L"res\\mainWnd\\bg2.png",
                                               L"res\\mainWnd\\bg3.png", L"res\\mainWnd\\bg4.png"};
constexpr int kTitlePageWithBack = 1;
constexpr int kTitlePageFinished = 2;

// The same folder, however it was spelled: trailing separators and "." or ".." steps aside.
bool sameFolder(const std::wstring& a, const std::wstring& b) {
    const auto normal = [](const std::wstring& path) {
        std::filesystem::path folder = std::filesystem::path(path).lexically_normal();
        if (!folder.has_filename() && folder.has_relative_path()) {
            folder = folder.parent_path();
        }
        return folder;
    };
    return !a.empty() && !b.empty() && normal(a) == normal(b);
}

}  // namespace

CMainWnd::CMainWnd(SkinUI::Host& host, MainWndServices services)
    : CSkinFrame(host, skinFrameParams(L"MainWnd.xml")),
      services_(std::move(services)),
      startUrl_(kConverterUrl) {
    setTitle(kTitle);
}

CMainWnd::~CMainWnd() {
    // The network check posts to this window; the pipeline's workers report to it. Both are let
    // finish before the controls they name go away.
    networkCheck_.reset();
    pipeline_.reset();
}

void CMainWnd::onInit() {
    CSkinFrame::onInit();
    findControls();
    giveProductName(softNameLbl_);
    for (const wchar_t* name : {L"bTitleLbl1", L"bTitleLbl2", L"bTitleLbl3"}) {
        giveProductName(findControl<SkinUI::Label>(name));
    }

    // The workers never touch the window: each event travels as a posted record, and one posted
    // after the window is gone is dropped with its record.
    const SkinUI::WindowHandle window = handle();
    pipeline_ = std::make_unique<CDownloadInstaller>(
        [window](std::int32_t code, double value, const wchar_t* text) {
            window.postMessage(
                WM_PIPELINE_EVENT, 0, 0,
                std::make_unique<PipelineEventRecord>(code, value, text != nullptr ? text : L""));
        },
        L"", L"", L"", true, true, true);

    Utils::ReadInstallRecords(records_);
    existingInstall_ = !records_.recordedInstallPath.empty();
    if (installDirEdit_ != nullptr) {
        installDirEdit_->setText(GetDefaultInstallDir());
    }
    centre();
    if (existingInstall_) {
        handleExistingInstall();
    }
}

void CMainWnd::findControls() {
    mainTabLt_ = findControl<SkinUI::TabLayout>(L"mainTabLt");
    titleTabLt_ = findControl<SkinUI::TabLayout>(L"titleTabLt");
    defaultInstallBtn_ = findControl(L"defaultInstallBtn");
    customeInstallBtn_ = findControl(L"customeInstallBtn");
    customeBtn_ = findControl(L"customeBtn");
    treatyBtn_ = findControl<SkinUI::CheckBox>(L"treatyBtn");
    backBtn_ = findControl(L"backBtn");
    openProduceBtn_ = findControl(L"openProduceBtn");
    treatyCb_ = findControl<SkinUI::CheckBox>(L"treatyCb");
    chDirBtn_ = findControl(L"chDirBtn");
    installDirEdit_ = findControl<SkinUI::Edit>(L"installDirEdit");
    progressLb_ = findControl<SkinUI::Label>(L"progressLb");
    titleGrpCtn_ = findControl(L"titleGrpCtn");
    winCtn_ = findControl(L"winCtn");
    createDSCb_ = findControl<SkinUI::CheckBox>(L"createDSCb");
    createQSCb_ = findControl<SkinUI::CheckBox>(L"createQSCb");
    progressAnLb_ = findControl(L"progressAnLb");
    finishedLbl_ = findControl(L"finishedLbl");
    softNameLbl_ = findControl<SkinUI::Label>(L"softNameLbl");
    installLogo_ = findControl(L"installLogo");
    tipLbl_ = findControl(L"tipLbl");
    installPrg_ = findControl<SkinUI::Progress>(L"installPrg");
}

void CMainWnd::giveProductName(SkinUI::Label* label) {
    if (label == nullptr) {
        return;
    }
    label->setFixedWidth(measureTextWidth(kProductName, label->font()));
    label->setText(kProductName);
}

void CMainWnd::handleExistingInstall() {
    if (Utils::FindProcessId(kProductExeName) != 0) {
        showAlreadyRunningPrompt();
        close(1);
        return;
    }
    switch (ShowPrompt(*this, skinFrameParams(kInstalledPathTipWnd))) {
        case kPromptCancel:  // "打开软件"
            productExePath_ = platform::joinPath(records_.recordedInstallPath, kProductExeName);
            shellOpen(productExePath_, records_.recordedInstallPath, platform::ShowCommand::Normal);
            close(1);
            break;
        case kPromptOk:  // "安装最新版本"
            StartInstall(records_.recordedInstallPath, true, true);
            break;
        default:
            close(1);
            break;
    }
}

std::wstring CMainWnd::GetDefaultInstallDir() {
    std::wstring consoleUser;
    Utils::GetConsoleUserName(consoleUser);
    consoleUserIsAdmin_ = Utils::IsAdminUser(consoleUser);
    processIsAdmin_ = Utils::IsAdminGroupMember();
    if (!records_.recordedInstallPath.empty() &&
        platform::fileExists(records_.recordedUninstallPath)) {
        return records_.recordedInstallPath;
    }
    std::wstring base;
    if (consoleUserIsAdmin_ && processIsAdmin_) {
        const std::wstring appData = platform::dataHomeFolder();
        if (!appData.empty() && appData.size() <= kMaxPathChars) {
            base = platform::joinPath(appData, kAppDataVendorFolder);
        }
    }
    if (base.empty()) {
        base = platform::programFilesFolder();
    }
    return platform::joinPath(base, kProductFolderName);
}

std::wstring CMainWnd::GetCustomInstallDir() {
    const std::wstring defaultFolder = GetDefaultInstallDir();
    const std::wstring typed = platform::toPlatformSeparators(
        installDirEdit_ != nullptr ? installDirEdit_->text() : std::wstring());
    if (sameFolder(defaultFolder, typed)) {
        return defaultFolder;
    }
    // A chosen folder always gets the product's own folder, even when it already ends in it.
    return platform::joinPath(typed, kProductFolderName);
}

void CMainWnd::LaunchProduct() {
    if (startUrl_.size() >= kMinStartUrlChars) {
        shellOpen(startUrl_, L"", platform::ShowCommand::Maximized);
    }
    if (platform::fileExists(productExePath_)) {
        // Lets the page open first, so that the product comes up in front of the browser.
        SkinUI::pumpMessages(host(), this);
        shellOpen(productExePath_, L"", platform::ShowCommand::Normal);
    }
}

void CMainWnd::notify(const SkinUI::Notification& notification) {
    const std::wstring& type = notification.type;
    if (type == L"click") {
        onClick(notification);
    } else if (type == L"selectchanged") {
        onSelectionChanged(notification);
    } else if (type == L"tabselect") {
        onPageChanged();
    } else if (type == L"install") {
        BeginInstall(notification.wParam != 0);
    } else if (type == L"checknet") {
        onCheckNet(static_cast<std::uint32_t>(notification.wParam));
    } else if (type == L"timer") {
        onTimer(notification);
    } else {
        CSkinFrame::notify(notification);
    }
}

void CMainWnd::onClick(const SkinUI::Notification& notification) {
    SkinUI::Control* sender = notification.sender;
    if (sender == nullptr) {
        return;
    }
    if (sender == defaultInstallBtn_) {
        trackClick(L"立即安装");
        if (treatyCb_ != nullptr && treatyCb_->isSelected()) {
            StartInstall(GetDefaultInstallDir(), true, true);
        } else if (tipLbl_ != nullptr) {
            tipLbl_->setVisible(true);
        }
    } else if (sender == customeBtn_) {
        trackClick(L"自定义安装");
        selectPage(kCustomPage);
        if (customeInstallBtn_ != nullptr) {
            customeInstallBtn_->setFocus();
        }
    } else if (sender == treatyBtn_) {
        shellOpen(kTermsUrl, L"", platform::ShowCommand::Maximized);
    } else if (sender == backBtn_) {
        selectPage(kQuickPage);
    } else if (sender == chDirBtn_) {
        const std::optional<std::wstring> folder = host().chooseFolder(this, kChooseFolderTitle);
        if (folder && folder->size() <= kMaxPathChars && installDirEdit_ != nullptr) {
            installDirEdit_->setText(*folder);
        }
    } else if (sender == customeInstallBtn_) {
        trackClick(L"自定义安装_立即安装");
        StartInstall(GetCustomInstallDir(), createDSCb_ != nullptr && createDSCb_->isSelected(),
                     createQSCb_ != nullptr && createQSCb_->isSelected());
    } else if (sender == openProduceBtn_) {
        trackClick(L"立即体验");
        if (startupStyle_ == 2) {
            LaunchProduct();
        }
        close(1);
    } else if (sender->name() == L"closebtn") {
        if (selectedPage() == kFinishedPage ||
            ShowPrompt(*this, skinFrameParams(kExitTipWnd)) == kPromptOk) {
            close(1);
        }
    } else {
        CSkinFrame::notify(notification);
    }
}

void CMainWnd::onSelectionChanged(const SkinUI::Notification& notification) {
    if (treatyCb_ == nullptr) {
        return;
    }
    if (notification.sender == treatyCb_) {
        const bool agreed = treatyCb_->isSelected();
        if (treatyBtn_ != nullptr) {
            treatyBtn_->setSelected(agreed);
        }
        if (customeBtn_ != nullptr) {
            customeBtn_->setEnabled(agreed);
        }
        if (agreed && tipLbl_ != nullptr) {
            tipLbl_->setVisible(false);
        }
    } else if (notification.sender == treatyBtn_ && treatyBtn_ != nullptr) {
        // The link only opens the terms: its tick always mirrors the agreement box.
        treatyBtn_->setSelected(treatyCb_->isSelected(), false);
    }
}

void CMainWnd::onPageChanged() {
    const int page = selectedPage();
    if (page < kQuickPage || page > kFinishedPage) {
        return;
    }
    if (winCtn_ != nullptr) {
        winCtn_->setBkImage(kPageBackgrounds[page]);
        winCtn_->invalidate();
    }
    auto* animation =
        progressAnLb_ != nullptr ? dynamic_cast<SkinUI::CSequenceLabelUI*>(progressAnLb_) : nullptr;
    if (page == kQuickPage || page == kCustomPage) {
        if (titleTabLt_ != nullptr) {
            titleTabLt_->selectItem(kTitlePageWithBack);
        }
    } else if (page == kInstallingPage) {
        if (animation != nullptr) {
            animation->start();
        }
    } else {
        if (titleTabLt_ != nullptr) {
            titleTabLt_->selectItem(kTitlePageFinished);
        }
        if (animation != nullptr) {
            animation->stop();
        }
        if (auto* finished = dynamic_cast<SkinUI::CSequenceLabelUI*>(finishedLbl_)) {
            finished->start();
        }
    }
    if (titleGrpCtn_ != nullptr) {
        titleGrpCtn_->setVisible(page != kInstallingPage);
    }
    if (installLogo_ != nullptr) {
        installLogo_->setVisible(page == kInstallingPage);
    }
    if (backBtn_ != nullptr) {
        backBtn_->setVisible(page == kCustomPage);
    }
}

std::unique_ptr<SkinUI::Control> CMainWnd::createControl(std::wstring_view elementName) {
    return createSequenceControl(elementName);
}

bool CMainWnd::handleMessage(SkinUI::Message& message) {
    switch (message.id) {
        case WM_PIPELINE_EVENT:
            if (const auto* record =
                    dynamic_cast<const PipelineEventRecord*>(message.payload.get())) {
                OnPipelineEvent(*record);
            }
            return true;
        case WM_DOWNLOADER_STARTED:
            if (!reportedStart_) {
                reportedStart_ = true;
                trackTask(L"下载器启动", L"", 0);
            }
            return false;
        case SkinUI::kCloseMessage:
            // Leaving mid-installation would leave a half-installed product behind.
            return selectedPage() == kInstallingPage;
        default:
            return CSkinFrame::handleMessage(message);
    }
}

void CMainWnd::showAlreadyRunningPrompt() {
    ShowPrompt(*this, skinFrameParams(kMessageBox1Wnd),
               L"安装程序检测到Brivano\r\n正在运行，请退出程序后再安装", L"温馨提示");
}

void CMainWnd::trackTask(const std::wstring& name, const std::wstring& reason,
                         float elapsed) const {
    AppUsageTrackTask(name, reason, elapsed, AppUsageExtras{{L"AB", g_settings.AbValue}});
}

void CMainWnd::trackClick(const std::wstring& name) const {
    AppUsageTrackClick(name, AppUsageExtras{{L"AB", g_settings.AbValue}});
}

bool CMainWnd::shellOpen(const std::wstring& target, const std::wstring& workingFolder,
                         platform::ShowCommand show) const {
    return services_.shellOpen &&
           services_.shellOpen(platform::ShellOpenRequest{kOpenVerb, target, workingFolder, show});
}

int CMainWnd::selectedPage() const {
    return mainTabLt_ != nullptr ? mainTabLt_->currentSel() : kQuickPage;
}

void CMainWnd::selectPage(int page) {
    if (mainTabLt_ != nullptr) {
        mainTabLt_->selectItem(page);
    }
}

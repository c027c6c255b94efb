#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "install/download_installer.h"
#include "ui/main_wnd_services.h"
#include "ui/pipeline_event.h"
#include "ui/skin_frame.h"
#include "utils/install_records.h"
#include "utils/thread.h"

namespace SkinUI {
class CheckBox;
class Control;
class Edit;
class Label;
class Progress;
class TabLayout;
}  // namespace SkinUI

// The installer's window and the owner of the whole job: four pages (quick install, custom
// install, installing, finished), the checks before an installation, the pipeline that downloads
// and runs the package, the install records, the analytics reports, and the product's launch.
class CMainWnd : public CSkinFrame {
public:
    static constexpr wchar_t kTitle[] = L"Brivano";

    enum Page : int { kQuickPage = 0, kCustomPage = 1, kInstallingPage = 2, kFinishedPage = 3 };
    enum InstallState : std::int32_t { kInitial = 1, kBackAfterFailure = 2, kFinished = 3 };

    // Root-control timers started when the installation succeeded.
    static constexpr std::uint32_t kTopShowTimerId = 10;
    static constexpr std::uint32_t kFinishCloseTimerId = 11;

    explicit CMainWnd(SkinUI::Host& host, MainWndServices services = {});
    ~CMainWnd() override;

    bool StartInstall(const std::wstring& folder, bool desktopShortcut, bool quickLaunch);
    void BeginInstall(bool ok);
    std::wstring GetDefaultInstallDir();
    std::wstring GetCustomInstallDir();
    void LaunchProduct();
    void OnInstallSucceeded();
    void ReportDownloadFailure(const PipelineEventRecord& record);
    void ReportInstallFailure(const PipelineEventRecord& record, bool isDownload);

    // What the job has learned so far, for the process entry and for tests.
    const std::wstring& productExePath() const { return productExePath_; }
    const std::wstring& startUrl() const { return startUrl_; }
    std::int32_t startupStyle() const { return startupStyle_; }
    std::uint32_t topShowDelayMs() const { return topShowDelayMs_; }
    std::uint32_t finishCloseDelayMs() const { return finishCloseDelayMs_; }
    std::int32_t installState() const { return installState_; }
    const Utils::InstallRecordPaths& installRecords() const { return records_; }

protected:
    void onInit() override;
    void notify(const SkinUI::Notification& notification) override;
    std::unique_ptr<SkinUI::Control> createControl(std::wstring_view elementName) override;
    bool handleMessage(SkinUI::Message& message) override;

    // Called for every pipeline event, on the window thread.
    virtual void OnPipelineEvent(const PipelineEventRecord& record);

private:
    static constexpr wchar_t kProductExeName[] = L"BrivanoPhotoEditor.exe";
    static constexpr double kBytesPerGb = 1073741824.0;

    void findControls();
    void giveProductName(SkinUI::Label* label);
    void handleExistingInstall();
    void onClick(const SkinUI::Notification& notification);
    void onSelectionChanged(const SkinUI::Notification& notification);
    void onPageChanged();
    void onCheckNet(std::uint32_t networkState);
    void onTimer(const SkinUI::Notification& notification);
    bool refuseWhileProductRuns();
    void sendInstall(bool ok, bool async);
    std::uint64_t freeBytesOn(const std::wstring& folder) const;
    void updateProgress(std::int32_t percent);
    void startOver();
    void showAlreadyRunningPrompt();
    double secondsSinceDownloadStarted() const;
    void trackTask(const std::wstring& name, const std::wstring& reason, float elapsed) const;
    void trackClick(const std::wstring& name) const;
    bool shellOpen(const std::wstring& target, const std::wstring& workingFolder,
                   platform::ShowCommand show) const;
    int selectedPage() const;
    void selectPage(int page);

    MainWndServices services_;

    SkinUI::TabLayout* mainTabLt_ = nullptr;
    SkinUI::TabLayout* titleTabLt_ = nullptr;
    SkinUI::Control* defaultInstallBtn_ = nullptr;
    SkinUI::Control* customeInstallBtn_ = nullptr;
    SkinUI::Control* customeBtn_ = nullptr;
    SkinUI::CheckBox* treatyBtn_ = nullptr;
    SkinUI::Control* backBtn_ = nullptr;
    SkinUI::Control* openProduceBtn_ = nullptr;
    SkinUI::CheckBox* treatyCb_ = nullptr;
    SkinUI::Control* chDirBtn_ = nullptr;
    SkinUI::Edit* installDirEdit_ = nullptr;
    SkinUI::Label* progressLb_ = nullptr;
    SkinUI::Control* titleGrpCtn_ = nullptr;
    SkinUI::Control* winCtn_ = nullptr;
    SkinUI::CheckBox* createDSCb_ = nullptr;
    SkinUI::CheckBox* createQSCb_ = nullptr;
    SkinUI::Control* progressAnLb_ = nullptr;
    SkinUI::Control* finishedLbl_ = nullptr;
    SkinUI::Label* softNameLbl_ = nullptr;
    SkinUI::Control* installLogo_ = nullptr;
    SkinUI::Control* tipLbl_ = nullptr;
    SkinUI::Progress* installPrg_ = nullptr;

    std::wstring productExePath_;
    std::wstring startUrl_;
    std::int32_t startupStyle_ = 0;
    std::uint32_t topShowDelayMs_ = 3000;
    // -1 as the package would give it: the longest period, so the window stays.
    std::uint32_t finishCloseDelayMs_ = 0xFFFFFFFF;
    // The four paths the install records are read from and written with: recorded install and
    // uninstall paths, the folder being installed into, the new uninstall data file.
    Utils::InstallRecordPaths records_;
    std::unique_ptr<CDownloadInstaller> pipeline_;
    std::uint32_t downloadStartMs_ = 0;
    bool downloadStarted_ = false;
    std::unique_ptr<Utils::Thread> networkCheck_;
    int savedPage_ = kQuickPage;
    double installFraction_ = 0.0;
    std::int32_t installState_ = kInitial;
    std::int32_t attempts_ = 0;
    bool existingInstall_ = false;
    bool consoleUserIsAdmin_ = false;
    bool processIsAdmin_ = false;
    bool reportedStart_ = false;
};

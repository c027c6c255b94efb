#include "install/uninstaller.h"

#include <utility>

#include "install/install_codes.h"
#include "platform/path.h"
#include "utils/exception.h"
#include "utils/system_probes.h"

std::wstring buildUninstallCommandLine(const std::wstring& uninstallerPath, bool consoleAdmin,
                                       bool elevated, const std::wstring& oldInstallFolder) {
    return L"\"" + uninstallerPath + L"\" /S -adminact=" + commandLineFlag(consoleAdmin) +
           L" -authorizationact=" + commandLineFlag(elevated) + L" -console=show _?=" +
           oldInstallFolder;
}

CUninstaller::CUninstaller(PipelineCallback callback, std::wstring uninstallerPath,
                           std::wstring oldInstallFolder)
    : callback_(std::move(callback)),
      uninstallerPath_(std::move(uninstallerPath)),
      oldInstallFolder_(std::move(oldInstallFolder)) {}

CUninstaller::~CUninstaller() {
    worker_.reset();
}

void CUninstaller::Start() {
    worker_.reset();
    std::wstring consoleUser;
    Utils::GetConsoleUserName(consoleUser);
    commandLine_ = buildUninstallCommandLine(uninstallerPath_, Utils::IsAdminUser(consoleUser),
                                             Utils::IsAdminGroupMember(), oldInstallFolder_);
    worker_ = std::make_unique<Utils::Thread>(
        this, L"UnInstaller", [](void* self) { static_cast<CUninstaller*>(self)->Run(); });
    worker_->Resume();
}

std::int32_t CUninstaller::Parse(const std::wstring& chunk) {
    return parseConsoleChunk(ConsoleDialect::Uninstall, chunk, parseState_, callback_);
}

void CUninstaller::Run() {
    if (!platform::fileExists(uninstallerPath_)) {
        callback_(UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在");
        return;
    }
    callback_(UNIST_CODE_PROGRESS, 0.0, L"");
    child_ = std::make_unique<ChildProcess>();
    try {
        child_->Launch(commandLine_);
    } catch (const Utils::Exception&) {
        child_.reset();
        callback_(UNIST_CODE_FAIL, 2.0, L"");
        return;
    }
    // The uninstaller's output is parsed to its end: a final state does not stop the reading.
    bool finalState = false;
    ConsoleOutputDecoder decoder(parseState_);
    child_->FollowOutput([&](std::string_view bytes) {
        if (Parse(decoder.feed(bytes)) != kParseNoFinalState) {
            finalState = true;
        }
    });
    if (Parse(decoder.finish()) != kParseNoFinalState) {
        finalState = true;
    }
    child_.reset();
    if (!finalState) {
        callback_(UNIST_CODE_SUCCESS, 1.0, L"");
    }
}

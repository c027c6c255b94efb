#include "install/installer.h"

#include <utility>

#include "install/install_codes.h"
#include "settings/installer_settings.h"
#include "utils/exception.h"

namespace {

std::wstring quotedPath(const std::wstring& path) {
    const bool quoted = path.size() >= 2 && path.front() == L'"' && path.back() == L'"';
    return quoted ? path : L"\"" + path + L"\"";
}

}  // namespace

std::wstring buildInstallCommandLine(const std::wstring& quotedPackagePath,
                                     const std::wstring& installFolder, const InstallFlags& flags,
                                     const std::wstring& instCmd) {
    std::wstring line = quotedPackagePath;
    line += L" /S -console=show -version=1.0.0";
    line += L" -adminact=";
    line += commandLineFlag(flags.consoleAdmin);
    line += L" -authorizationact=";
    line += commandLineFlag(flags.elevated);
    line += L" -dsc=";
    line += commandLineFlag(flags.desktopShortcut);
    line += L" -ssc=";
    line += commandLineFlag(flags.quickLaunch);
    if (!instCmd.empty()) {
        line += L" " + instCmd;
    }
    if (!installFolder.empty()) {
        line += L" -instdir=\"" + installFolder + L"\"";
        line += L" /D=" + installFolder;
    }
    return line;
}

CInstaller::CInstaller(PipelineCallback callback, const std::wstring& packagePath,
                       std::wstring installFolder)
    : callback_(std::move(callback)),
      packagePath_(quotedPath(packagePath)),
      installFolder_(std::move(installFolder)) {}

CInstaller::~CInstaller() {
    worker_.reset();
}

void CInstaller::Start() {
    std::wstring commandLine =
        buildInstallCommandLine(packagePath_, installFolder_, flags_, g_settings.InstCmd);
    // The previous worker still reads the command line and the parse state until it ends.
    worker_.reset();
    commandLine_ = std::move(commandLine);
    worker_ = std::make_unique<Utils::Thread>(
        this, L"ABDEF", [](void* self) { static_cast<CInstaller*>(self)->Run(); });
    worker_->Resume();
}

std::int32_t CInstaller::Parse(const std::wstring& chunk) {
    return parseConsoleChunk(ConsoleDialect::Install, chunk, parseState_, callback_);
}

void CInstaller::Run() {
    callback_(IST_CODE_START, 0.0, L"");
    callback_(IST_CODE_PROGRESS, 0.0, L"");
    child_ = std::make_unique<ChildProcess>();
    try {
        child_->Launch(commandLine_);
    } catch (const Utils::Exception&) {
        child_.reset();
        callback_(IST_CODE_FAIL, 2.0, L"");
        return;
    }
    // Once the package reported its outcome its output is only drained, so that a package that
    // keeps writing never blocks on a full pipe while it is waited for.
    bool finalState = false;
    ConsoleOutputDecoder decoder(parseState_);
    child_->FollowOutput([&](std::string_view bytes) {
        if (!finalState && Parse(decoder.feed(bytes)) != kParseNoFinalState) {
            finalState = true;
        }
    });
    if (!finalState && Parse(decoder.finish()) != kParseNoFinalState) {
        finalState = true;
    }
    child_.reset();
    if (!finalState) {
        callback_(INSTALL_SUCCESS, 1.0, L"");
    }
}

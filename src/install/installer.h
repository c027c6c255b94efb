#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "download/downloader.h"
#include "install/child_process.h"
#include "install/console_protocol.h"
#include "utils/thread.h"

// The four switches the package is given, as the main window and the pipeline fill them.
struct InstallFlags {
    bool desktopShortcut = false;  // "-dsc="
    bool quickLaunch = false;      // "-ssc="
    bool consoleAdmin = false;     // "-adminact=": the console user is an administrator account
    bool elevated = true;          // "-authorizationact=": this process runs as an administrator
};

// The package command line: the quoted package path, the fixed switches, the four flags, the
// extra command (when there is one) and, for a chosen folder, "-instdir=" in quotes and "/D="
// unquoted and last.
std::wstring buildInstallCommandLine(const std::wstring& quotedPackagePath,
                                     const std::wstring& installFolder, const InstallFlags& flags,
                                     const std::wstring& instCmd);

// Runs the downloaded package on its own worker and reports its progress and outcome through the
// callback, on that worker. Built once per pipeline and started again for a new run.
class CInstaller {
public:
    // The package path may come enclosed in double quotes, as it stands on the command line;
    // a bare path is quoted here.
    CInstaller(PipelineCallback callback, const std::wstring& packagePath,
               std::wstring installFolder);
    // Waits for a run in progress to end.
    ~CInstaller();
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // Both take effect with the next Start().
    void SetInstallFolder(std::wstring installFolder) { installFolder_ = std::move(installFolder); }
    void SetFlags(const InstallFlags& flags) { flags_ = flags; }

    // Waits for the previous run of this runner to end, then starts a new one and returns.
    void Start();

    // Parses decoded package output; the result of the last final state in it, or 0.
    std::int32_t Parse(const std::wstring& chunk);

private:
    void Run();

    PipelineCallback callback_;
    std::wstring packagePath_;
    std::wstring installFolder_;
    std::wstring commandLine_;
    InstallFlags flags_;
    // Touched by the worker only, and carried from one run to the next.
    ConsoleParseState parseState_;
    std::unique_ptr<Utils::Thread> worker_;
    std::unique_ptr<ChildProcess> child_;
};

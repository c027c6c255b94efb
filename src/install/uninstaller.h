#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "download/downloader.h"
#include "install/child_process.h"
#include "install/console_protocol.h"
#include "utils/thread.h"

// The uninstall command line: the uninstaller path in quotes (a temporary folder may hold
// blanks), the two administrator flags, and "_?=" with the old folder unquoted and last.
std::wstring buildUninstallCommandLine(const std::wstring& uninstallerPath, bool consoleAdmin,
                                       bool elevated, const std::wstring& oldInstallFolder);

// Runs the copy of an older version's uninstaller on its own worker and reports through the
// callback, on that worker. Started once.
class CUninstaller {
public:
    CUninstaller(PipelineCallback callback, std::wstring uninstallerPath,
                 std::wstring oldInstallFolder);
    // Waits for a run in progress to end.
    ~CUninstaller();
    CUninstaller(const CUninstaller&) = delete;
    CUninstaller& operator=(const CUninstaller&) = delete;

    // Starts the run and returns; the administrator flags are taken now.
    void Start();

    // Parses decoded uninstaller output; the result of the last final state in it, or 0.
    std::int32_t Parse(const std::wstring& chunk);

private:
    void Run();

    PipelineCallback callback_;
    std::wstring commandLine_;
    std::wstring uninstallerPath_;
    std::wstring oldInstallFolder_;
    // Touched by the worker only.
    ConsoleParseState parseState_;
    std::unique_ptr<Utils::Thread> worker_;
    std::unique_ptr<ChildProcess> child_;
};

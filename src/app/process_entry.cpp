#include "app/process_entry.h"

#include <curl/curl.h>

#include "app/crash_filter.h"
#include "app/single_instance_lock.h"
#include "platform/child_environment.h"

int runInstallerProcess(InstallerSettings& settings, const std::vector<std::wstring>& arguments,
                        const EntrySeams& seams) {
    platform::hardenChildEnvironment();
    installCrashFilter(seams);

    // Without the HTTP library the installer still runs: the multi-part downloader fails its probe
    // and the window offers the failure, which beats an installer that silently never starts.
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        settings.IsCurlReady = false;
        seams.trackTask(L"libcurl初始化失败");
    }

    SingleInstanceLock lock(kInstallerLockBaseName);
    if (!lock.Acquire()) {
        return kExitAnotherInstance;
    }

    // Analytics starts before the command line is applied, so its configuration reflects the
    // defaults and the INI file only; the options decide just whether later reports are made.
    seams.appUsageInit();
    settings.ApplyCommandLine(arguments);

    seams.prepareToolkit();
    seams.runMainWindow();

    if (settings.IsEnableAppUsage) {
        seams.appUsageShutdown();
    }
    curl_global_cleanup();
    seams.destroyMainWindow();
    lock.Release();
    return 0;
}

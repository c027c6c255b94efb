// The installer's process with a stand-in window, for the analytics crash test: with the word
// "crash" on the command line the window crashes the process, otherwise it reports a click on the
// install button and closes. Everything else (analytics start and stop, the crash filter, the
// command line) is the installer's own.
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/entry_seams.h"
#include "app/process_entry.h"
#include "platform/environment.h"
#include "settings/installer_settings.h"
#include "usage/app_usage.h"

int main() {
    const std::vector<std::wstring> arguments = platform::commandLineArguments();
    const bool crash = std::find(arguments.begin(), arguments.end(), L"crash") != arguments.end();
    EntrySeams seams = defaultEntrySeams();
    seams.prepareToolkit = [] {};
    seams.runMainWindow = [crash] {
        if (crash) {
            raise(SIGSEGV);
        }
        AppUsageTrackClick(L"立即安装", AppUsageExtras{{L"AB", g_settings.AbValue}});
    };
    return runInstallerProcess(g_settings, arguments, seams);
}

#include "app/entry_seams.h"

#include <cstdio>

#include "settings/installer_settings.h"
#include "usage/app_usage.h"

namespace {

void notYetBuilt(const char* step) {
    std::printf("brivano-setup: %s: not built yet\n", step);
}

}  // namespace

EntrySeams defaultEntrySeams() {
    return EntrySeams{
        .appUsageInit = [] { notYetBuilt("analytics start (AppUsageInit)"); },
        .appUsageShutdown = [] { notYetBuilt("analytics shutdown (AppUsageShutdown)"); },
        .trackTask =
            [](const std::wstring& name) {
                AppUsageTrackTask(name, L"", 0.0f, AppUsageExtras{{L"AB", g_settings.AbValue}});
            },
        .trackCrash = [] { AppUsageTrackCrash(); },
        .prepareToolkit = [] { notYetBuilt("UI toolkit and skin archive"); },
        .runMainWindow = [] { notYetBuilt("main window"); },
        .destroyMainWindow = [] {},
    };
}

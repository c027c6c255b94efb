#include "app/entry_seams.h"

#include <cstdio>

#include "settings/installer_settings.h"
#include "usage/app_usage.h"
#include "usage/app_usage_lifecycle.h"

namespace {

void notYetBuilt(const char* step) {
    std::printf("brivano-setup: %s: not built yet\n", step);
}

}  // namespace

EntrySeams defaultEntrySeams() {
    return EntrySeams{
        .appUsageInit = AppUsageInit,
        .appUsageShutdown = AppUsageShutdown,
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

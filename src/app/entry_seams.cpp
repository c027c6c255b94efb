#include "app/entry_seams.h"

#include <cstdio>

namespace {

void notYetBuilt(const char* step) {
    std::printf("brivano-setup: %s: not built yet\n", step);
}

}  // namespace

EntrySeams defaultEntrySeams() {
    return EntrySeams{
        .appUsageInit = [] { notYetBuilt("analytics start (AppUsageInit)"); },
        .appUsageShutdown = [] { notYetBuilt("analytics shutdown (AppUsageShutdown)"); },
        .trackTask = [](const std::wstring&) {},
        .trackCrash = [] {},
        .prepareToolkit = [] { notYetBuilt("UI toolkit and skin archive"); },
        .runMainWindow = [] { notYetBuilt("main window"); },
        .destroyMainWindow = [] {},
    };
}

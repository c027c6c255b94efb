#include "app/entry_seams.h"

#include <cstdio>
#include <memory>

#include "settings/installer_settings.h"
#include "toolkit/gtk_host.h"
#include "ui/main_wnd.h"
#include "usage/app_usage.h"
#include "usage/app_usage_lifecycle.h"

namespace {

// The display connection and the window, from toolkit start-up to the end of the process. The
// window object outlives its native window: the entry destroys it only after analytics and the
// HTTP library were shut down.
struct MainWindowState {
    std::unique_ptr<SkinUI::GtkHost> host;
    std::unique_ptr<CMainWnd> window;
};

}  // namespace

EntrySeams defaultEntrySeams() {
    const auto state = std::make_shared<MainWindowState>();
    return EntrySeams{
        .appUsageInit = AppUsageInit,
        .appUsageShutdown = AppUsageShutdown,
        .trackTask =
            [](const std::wstring& name) {
                AppUsageTrackTask(name, L"", 0.0f, AppUsageExtras{{L"AB", g_settings.AbValue}});
            },
        .trackCrash = [] { AppUsageTrackCrash(); },
        .prepareToolkit =
            [state] {
                state->host = SkinUI::GtkHost::create();
                if (!state->host) {
                    std::fprintf(stderr, "brivano-setup: no display to show the installer on\n");
                }
            },
        .runMainWindow =
            [state] {
                if (!state->host) {
                    return;
                }
                state->window = std::make_unique<CMainWnd>(*state->host);
                if (state->window->createFrame()) {
                    state->window->centre();
                    state->window->showModal();
                }
            },
        .destroyMainWindow =
            [state] {
                state->window.reset();
                state->host.reset();
            },
    };
}

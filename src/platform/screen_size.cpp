#include "platform/screen_size.h"

#include <gdk/gdk.h>

#include <cstdlib>

#include "platform/gdk_startup.h"

namespace platform {

namespace {

bool environmentNamesDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    return false;
}

ScreenSize primaryMonitorSize(GdkDisplay* display) {
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0) {
        // X servers without a primary output set, and Wayland, which has no such notion.
        monitor = gdk_display_get_monitor(display, 0);
    }
    if (monitor == nullptr) {
        return {};
    }
    GdkRectangle geometry{};
    gdk_monitor_get_geometry(monitor, &geometry);
    return {geometry.width, geometry.height};
}

}  // namespace

ScreenSize primaryScreenSize() {
    if (GdkDisplay* display = gdk_display_get_default()) {
        return primaryMonitorSize(display);
    }
    // Without a named display GDK would only fail, and some of its back ends say so on stderr.
    if (!environmentNamesDisplay()) {
        return {};
    }
    startGdkWithoutGl([] {
        gdk_parse_args(nullptr, nullptr);
        return true;
    });
    // Stays open as the process's default display: opening one again after closing it costs
    // several times the first opening, and the toolkit, started later, takes this one over
    // instead of opening its own.
    GdkDisplay* display = gdk_display_open(nullptr);
    if (display == nullptr) {
        return {};
    }
    return primaryMonitorSize(display);
}

}  // namespace platform

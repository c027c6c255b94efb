#include "platform/screen_size.h"

#include <gdk/gdk.h>

#include <cstdlib>
#include <memory>

namespace platform {

namespace {

struct DisplayClose {
    void operator()(GdkDisplay* display) const { gdk_display_close(display); }
};

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
    const std::unique_ptr<GdkDisplay, DisplayClose> display(gdk_display_open(nullptr));
    if (!display) {
        return {};
    }
    return primaryMonitorSize(display.get());
}

}  // namespace platform

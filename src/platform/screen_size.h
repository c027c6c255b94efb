#pragma once

// The size of the primary monitor in logical pixels: what a program that knows nothing of
// display scaling is shown.
namespace platform {

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Uses the display the process already has open; otherwise opens one, only when the environment
// names one ($DISPLAY or $WAYLAND_DISPLAY), and keeps it as the process's default display for the
// toolkit. 0 x 0 without a display. Call it from the thread that runs the toolkit, if there is
// one.
ScreenSize primaryScreenSize();

}  // namespace platform

#pragma once

#include <functional>
#include <string>

// The steps of the start-up and shutdown order that other parts of the installer provide: the
// analytics reports and the window. The process entry runs them in its fixed order; tests give
// their own to watch that order.
struct EntrySeams {
    // Analytics start and stop.
    std::function<void()> appUsageInit;
    std::function<void()> appUsageShutdown;
    // A task report with the extras "AB" = "IN", and the crash report. Both may run on any thread,
    // the crash ones from the crash handler, and before analytics has started.
    std::function<void(const std::wstring& name)> trackTask;
    std::function<void()> trackCrash;

    // The UI toolkit made ready for the skin archive.
    std::function<void()> prepareToolkit;
    // The main window created, centred and run modally; returns once it is gone.
    std::function<void()> runMainWindow;
    // The window object destroyed, after analytics and the HTTP library were shut down.
    std::function<void()> destroyMainWindow;
};

// The seams of this build.
EntrySeams defaultEntrySeams();

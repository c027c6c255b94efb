#pragma once

// Analytics start and stop for the installer process, run by the process entry on the main
// thread while no other thread reports.

// Creates, initialises and publishes the process-wide tracker, configured from g_settings as it
// stands (built-in defaults and the INI file; the command line is applied later). Does nothing
// when g_settings.IsEnableAppUsage is false. A tracker whose initialisation failed is published
// all the same: its reports then go nowhere.
void AppUsageInit();

// Takes the process-wide tracker back and destroys it here, which saves the identity and sends
// what is queued, so call it before the HTTP library is cleaned up.
void AppUsageShutdown();

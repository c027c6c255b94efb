#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "usage/ko_context_properties.h"
#include "usage/usage_tracker.h"

// The installer's side of analytics: report helpers that the entry, the transfer client and the
// main window call with wide texts, and the process-wide tracker they report to. Every helper
// does nothing while g_settings.IsEnableAppUsage is false, may be called from any thread, and
// never reports a failure back: a rejected record is absorbed by the tracker's wrapper. The one
// exception is a malformed "AB" extra, which raises KoException from AppUsageApplyAb.

// Extras attached to a report; only "AB" is read.
using AppUsageExtras = std::map<std::wstring, std::wstring>;

// A Task event with result Success (failures too: their reason says what went wrong).
void AppUsageTrackTask(const std::wstring& name, const std::wstring& reason, float elapsed,
                       AppUsageExtras extras);
// A Click event of click type Button.
void AppUsageTrackClick(const std::wstring& name, AppUsageExtras extras);
// The View event of the installing page.
void AppUsageTrackInstallingView(AppUsageExtras extras);
// The Crash event. Meant for the crash handler, which may interrupt a thread anywhere: it never
// waits for the process-wide tracker and is dropped when it cannot have it at once.
void AppUsageTrackCrash();

// Registers the "AB" extra as "koc_ab" for the given event kinds when it is present and valid;
// raises KoException when it is present but malformed.
void AppUsageApplyAb(const AppUsageExtras& extras,
                     const std::vector<pelta::usage::KoEventType>& eventTypes,
                     pelta::usage::KoContextProperties& context);

// Reports made while no tracker is published are kept, up to this many (the oldest are dropped),
// so that the reports explaining a failed start are not lost.
inline constexpr std::size_t kMaxPendingReports = 16;

// Makes the tracker (the wrapper around the implementation) the one every report goes to, then
// hands it the kept reports, oldest first, when analytics is enabled at that moment; they are
// discarded otherwise. Called once by analytics start-up on the main thread; reports that arrive
// meanwhile wait until the kept ones are delivered.
void publishProcessTracker(std::shared_ptr<pelta::usage::UsageTracker> tracker);

// Takes the tracker back. Once this returns, no report is inside it any more and none will enter
// it, so the caller may destroy it (which flushes) on its own thread before the HTTP library is
// cleaned up. Later reports are kept as before any tracker was published.
std::shared_ptr<pelta::usage::UsageTracker> releaseProcessTracker();

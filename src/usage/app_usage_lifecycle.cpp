#include "usage/app_usage_lifecycle.h"

#include <memory>
#include <utility>

#include "platform/text_encoding.h"
#include "settings/installer_settings.h"
#include "usage/app_usage.h"
#include "usage/usage_tracker_config.h"
#include "usage/usage_tracker_impl.h"
#include "usage/usage_tracker_wrapper.h"
#include "utils/text.h"

namespace {

std::string toUtf8(const std::wstring& text) {
    return Utils::ToNarrow(text, platform::kCodePageUtf8);
}

pelta::usage::UsageTrackerConfig trackerConfig(const InstallerSettings& settings) {
    pelta::usage::UsageTrackerConfig config;
    config.appName = toUtf8(settings.AppId + settings.DlAppNameSuffix);
    config.appVersion = toUtf8(settings.AppVersion);
    config.appStore = toUtf8(settings.ExeName);
    config.dlAppId = toUtf8(settings.AppId);
    config.dlAppVersion = toUtf8(settings.DlAppVersion);
    // The installer keeps the defaults for the rest: the log beside the identity file, the China
    // edition and the build's collector.
    return config;
}

}  // namespace

void AppUsageInit() {
    if (!g_settings.IsEnableAppUsage) {
        return;
    }
    auto tracker = std::make_unique<pelta::usage::UsageTrackerImpl>(trackerConfig(g_settings));
    try {
        tracker->init();
    } catch (...) {
        // Analytics must never keep the installer from running; the tracker stays, inert where
        // its start failed.
    }
    publishProcessTracker(std::make_shared<pelta::usage::UsageTrackerWrapper>(std::move(tracker)));
}

void AppUsageShutdown() {
    std::shared_ptr<pelta::usage::UsageTracker> tracker = releaseProcessTracker();
    // The last reference goes here, on the main thread, not on whichever thread reported last.
    tracker.reset();
}

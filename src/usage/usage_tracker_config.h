#pragma once

#include <string>

#include "usage/ko_events.h"

namespace pelta::usage {

// What the tracker is told about the application it reports for: filled once at start-up and
// consumed by the tracker's constructor. Texts are UTF-8; the constructor repairs any that are not.
struct UsageTrackerConfig {
    std::string appName;  // reported in every event as the application id
    std::string appVersion;
    std::string appStore;  // distribution channel
    std::string dlAppId;   // the product being downloaded
    std::string dlAppVersion;
    std::string logPath;  // local event log; empty: beside the identity file
    KoEdition edition = KoEdition::China;
    std::string serverUrl;  // collector; empty: the build's default collector
};

}  // namespace pelta::usage

#include "usage/usage_tracker_wrapper.h"

#include <iostream>
#include <utility>

namespace pelta::usage {

UsageTrackerWrapper::UsageTrackerWrapper(std::unique_ptr<UsageTracker> tracker)
    : tracker_(std::move(tracker)) {}

UsageTrackerWrapper::~UsageTrackerWrapper() = default;

template <typename Operation>
void UsageTrackerWrapper::guarded(const char* kind, Operation&& operation) {
    if (!tracker_) {
        return;
    }
    try {
        operation(*tracker_);
    } catch (...) {
        if (tracker_->getTrackLogger() != nullptr) {
            std::cout << "Failed to track" << kind << std::endl;
        }
    }
}

void UsageTrackerWrapper::trackActivity(const KoContextProperties* context) {
    guarded("Activity", [&](UsageTracker& t) { t.trackActivity(context); });
}

void UsageTrackerWrapper::trackLaunch(const KoContextProperties* context) {
    guarded("Launch", [&](UsageTracker& t) { t.trackLaunch(context); });
}

void UsageTrackerWrapper::trackLogin(const KoUserInfo& user, bool succeeded,
                                     const std::string& reason,
                                     const KoContextProperties* context) {
    guarded("Login", [&](UsageTracker& t) { t.trackLogin(user, succeeded, reason, context); });
}

void UsageTrackerWrapper::trackClick(const KoEventClick& event,
                                     const KoContextProperties* context) {
    guarded("Click", [&](UsageTracker& t) { t.trackClick(event, context); });
}

void UsageTrackerWrapper::trackView(const KoEventView& event, const KoContextProperties* context) {
    guarded("View", [&](UsageTracker& t) { t.trackView(event, context); });
}

void UsageTrackerWrapper::trackCashier(const KoEventCashier& event,
                                       const KoContextProperties* context) {
    guarded("Cashier", [&](UsageTracker& t) { t.trackCashier(event, context); });
}

void UsageTrackerWrapper::trackShare(const KoEventShare& event,
                                     const KoContextProperties* context) {
    guarded("Share", [&](UsageTracker& t) { t.trackShare(event, context); });
}

void UsageTrackerWrapper::trackTask(const KoEventTask& event, const KoContextProperties* context) {
    guarded("Task", [&](UsageTracker& t) { t.trackTask(event, context); });
}

void UsageTrackerWrapper::trackFile(const KoEventFile& event, const KoContextProperties* context) {
    guarded("File", [&](UsageTracker& t) { t.trackFile(event, context); });
}

void UsageTrackerWrapper::trackOrder(const KoEventOrder& event,
                                     const KoContextProperties* context) {
    guarded("Order", [&](UsageTracker& t) { t.trackOrder(event, context); });
}

void UsageTrackerWrapper::trackPayment(const KoEventPayment& event,
                                       const KoContextProperties* context) {
    guarded("Payment", [&](UsageTracker& t) { t.trackPayment(event, context); });
}

void UsageTrackerWrapper::trackUninstall(const KoEventUninstall& event,
                                         const KoContextProperties* context) {
    guarded("Uninstall", [&](UsageTracker& t) { t.trackUninstall(event, context); });
}

void UsageTrackerWrapper::trackCrash(const std::string& reason) {
    guarded("Crash", [&](UsageTracker& t) { t.trackCrash(reason); });
}

void UsageTrackerWrapper::trackUpdate(const KoEventUpdate& event,
                                      const KoContextProperties* context) {
    guarded("Update", [&](UsageTracker& t) { t.trackUpdate(event, context); });
}

void UsageTrackerWrapper::trackAppOpenNotification(const KoAppOpenNotification* notification,
                                                   const KoContextProperties* context) {
    guarded("AppOpenNotification",
            [&](UsageTracker& t) { t.trackAppOpenNotification(notification, context); });
}

void UsageTrackerWrapper::setLocale(const std::string& locale) {
    if (tracker_) {
        tracker_->setLocale(locale);
    }
}

std::string UsageTrackerWrapper::getPrimaryDistinctId() {
    return tracker_ ? tracker_->getPrimaryDistinctId() : std::string();
}

TrackLogger* UsageTrackerWrapper::getTrackLogger() {
    return nullptr;
}

}  // namespace pelta::usage

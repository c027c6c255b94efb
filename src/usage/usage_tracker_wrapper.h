#pragma once

#include <memory>
#include <string>

#include "usage/usage_tracker.h"

namespace pelta::usage {

// The face the installer reports through: forwards to the implementation it owns and absorbs
// whatever a track operation raises, so that a rejected report never disturbs the caller. A
// failure is announced on standard output ("Failed to track<Kind>") only when the
// implementation keeps a track logger. Without an implementation every operation does nothing.
class UsageTrackerWrapper : public UsageTracker {
public:
    explicit UsageTrackerWrapper(std::unique_ptr<UsageTracker> tracker);
    ~UsageTrackerWrapper() override;
    UsageTrackerWrapper(const UsageTrackerWrapper&) = delete;
    UsageTrackerWrapper& operator=(const UsageTrackerWrapper&) = delete;

    void trackActivity(const KoContextProperties* context) override;
    void trackLaunch(const KoContextProperties* context) override;
    void trackLogin(const KoUserInfo& user, bool succeeded, const std::string& reason,
                    const KoContextProperties* context) override;
    void trackClick(const KoEventClick& event, const KoContextProperties* context) override;
    void trackView(const KoEventView& event, const KoContextProperties* context) override;
    void trackCashier(const KoEventCashier& event, const KoContextProperties* context) override;
    void trackShare(const KoEventShare& event, const KoContextProperties* context) override;
    void trackTask(const KoEventTask& event, const KoContextProperties* context) override;
    void trackFile(const KoEventFile& event, const KoContextProperties* context) override;
    void trackOrder(const KoEventOrder& event, const KoContextProperties* context) override;
    void trackPayment(const KoEventPayment& event, const KoContextProperties* context) override;
    void trackUninstall(const KoEventUninstall& event, const KoContextProperties* context) override;
    void trackCrash(const std::string& reason) override;
    void trackUpdate(const KoEventUpdate& event, const KoContextProperties* context) override;
    void trackAppOpenNotification(const KoAppOpenNotification* notification,
                                  const KoContextProperties* context) override;

    // Forwarded without a handler; empty text without an implementation.
    void setLocale(const std::string& locale) override;
    std::string getPrimaryDistinctId() override;
    // Always null: the failure lines depend on the implementation's logger, not on this one.
    TrackLogger* getTrackLogger() override;

private:
    template <typename Operation>
    void guarded(const char* kind, Operation&& operation);

    std::unique_ptr<UsageTracker> tracker_;
};

}  // namespace pelta::usage

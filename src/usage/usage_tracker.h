#pragma once

#include <string>

#include "usage/ko_context_properties.h"
#include "usage/ko_events.h"
#include "usage/track_logger.h"

namespace pelta::usage {

// What the installer reports through: one operation per kind of event, each taking its record
// and the caller's context properties (may be null). An implementation raises KoException for a
// record it rejects; the installer only ever talks to one through UsageTrackerWrapper, which
// absorbs that. The operations keep the order of the tracker library's interface, in which
// trackCrash comes before trackUpdate.
class UsageTracker {
public:
    virtual ~UsageTracker() = default;

    virtual void trackActivity(const KoContextProperties* context) = 0;
    virtual void trackLaunch(const KoContextProperties* context) = 0;
    virtual void trackLogin(const KoUserInfo& user, bool succeeded, const std::string& reason,
                            const KoContextProperties* context) = 0;
    virtual void trackClick(const KoEventClick& event, const KoContextProperties* context) = 0;
    virtual void trackView(const KoEventView& event, const KoContextProperties* context) = 0;
    virtual void trackCashier(const KoEventCashier& event, const KoContextProperties* context) = 0;
    virtual void trackShare(const KoEventShare& event, const KoContextProperties* context) = 0;
    virtual void trackTask(const KoEventTask& event, const KoContextProperties* context) = 0;
    virtual void trackFile(const KoEventFile& event, const KoContextProperties* context) = 0;
    virtual void trackOrder(const KoEventOrder& event, const KoContextProperties* context) = 0;
    virtual void trackPayment(const KoEventPayment& event, const KoContextProperties* context) = 0;
    virtual void trackUninstall(const KoEventUninstall& event,
                                const KoContextProperties* context) = 0;
    virtual void trackCrash(const std::string& reason) = 0;
    virtual void trackUpdate(const KoEventUpdate& event, const KoContextProperties* context) = 0;
    virtual void trackAppOpenNotification(const KoAppOpenNotification* notification,
                                          const KoContextProperties* context) = 0;

    virtual void setLocale(const std::string& locale) = 0;
    virtual std::string getPrimaryDistinctId() = 0;
    // The local event log, or null when there is none.
    virtual TrackLogger* getTrackLogger() = 0;
};

}  // namespace pelta::usage

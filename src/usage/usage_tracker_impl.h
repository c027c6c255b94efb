#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "usage/flush_request.h"
#include "usage/ko_event_type.h"
#include "usage/native_track_logger.h"
#include "usage/properties_node.h"
#include "usage/usage_identity.h"
#include "usage/usage_tracker.h"
#include "usage/usage_tracker_config.h"

namespace pelta::usage {

// The tracker behind the installer's reports: checks each record, turns it into the event the
// collector expects, hands it to the analytics SDK and decides when queued records are sent.
// Rejected records raise KoException (the wrapper absorbs it); nothing is caught here.
//
// Threads: constructed, initialised and destroyed on the main thread; track operations come from
// any thread. Each call builds its own properties; the identity is shared and guarded by
// identityMutex_, the unsent counter is atomic.
class UsageTrackerImpl : public UsageTracker {
public:
    explicit UsageTrackerImpl(const UsageTrackerConfig& config);
    // Saves the identity, sends what is counted as unsent (up to three tries) and destroys the
    // SDK instance; records still queued stay in the staging file for the next run.
    ~UsageTrackerImpl() override;
    UsageTrackerImpl(const UsageTrackerImpl&) = delete;
    UsageTrackerImpl& operator=(const UsageTrackerImpl&) = delete;

    // Once, right after construction: chooses the local files, loads the identity, opens the
    // event log, starts the SDK with the super properties of every event and writes the install
    // record. Raises KoException for a missing name, version or store, or when the SDK does not
    // start; the tracker is usable either way (its SDK calls then do nothing).
    void init();

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

    void setLocale(const std::string& locale) override;
    std::string getPrimaryDistinctId() override;
    TrackLogger* getTrackLogger() override;

    // Text taken as UTF-8 when it is valid UTF-8, else as the ANSI charset's bytes and converted.
    static std::string toUtf8(const std::string& text);

private:
    enum class Flush { Immediate, Deferred, DeferredCounted };

    void send(const std::string& eventName, usage_analytics::PropertiesNode& properties,
              KoEventType eventType, const KoContextProperties* context, Flush flush);
    void requestFlushFor(Flush flush);
    void registerLocale();
    void visitDatesProfile(std::int64_t now);
    void loginBookkeeping(const KoUserInfo& user);

    const std::string appName_;
    const std::string appVersion_;
    const std::string appStore_;
    const std::string dlAppId_;
    const std::string dlAppVersion_;
    const KoEdition edition_;
    std::string serverUrl_;  // the default collector's once init has run
    std::string logPath_;

    std::mutex identityMutex_;  // identity_ between track operations on different threads
    std::unique_ptr<UsageIdentity> identity_;
    std::unique_ptr<NativeTrackLogger> logger_;
    // Shared with flush requests that may still run on threads of their own.
    const std::shared_ptr<UnsentEventCounter> unsent_ = std::make_shared<UnsentEventCounter>(0);
};

}  // namespace pelta::usage

#include "usage/usage_tracker_impl.h"

#include <charconv>
#include <chrono>
#include <filesystem>
#include <optional>

#include "platform/text_encoding.h"
#include "usage/collector_url.h"
#include "usage/ko_context_properties.h"
#include "usage/ko_exception.h"
#include "usage/native_user_tracker.h"
#include "usage/sdk.h"
#include "usage/utf8_check.h"

namespace pelta::usage {

namespace {

using usage_analytics::PropertiesNode;
using usage_analytics::Sdk;

constexpr char kFileName[] = "UsageTrackerImpl";

// The source lines these raises report. Whoever reads collected failures matches them against
// earlier releases of the tracker, so they stay fixed whatever this file looks like.
constexpr std::int32_t kLineAppNameEmpty = 310;
constexpr std::int32_t kLineAppVersionEmpty = 314;
constexpr std::int32_t kLineAppStoreEmpty = 318;
constexpr std::int32_t kLineSdkInitLoggedIn = 407;
constexpr std::int32_t kLineSdkInitAnonymous = 415;
constexpr std::int32_t kLineTaskNameEmpty = 1016;

constexpr char kStagingSuffix[] = "_KOSStaging.log";
constexpr char kAppPlatform[] = "Linux";
constexpr char kTrackType[] = "Client";
constexpr char kSdkVersion[] = "3.3.8";
constexpr char kSdkName[] = "LinuxCPP";
// The collector's reports expect this placeholder; no such identifiers exist on a desktop.
constexpr char kInstallSource[] = "android_id=123##imei=1234##mac=123";
constexpr char kFirstTimeKey[] = "$is_first_time";

constexpr std::int64_t kActivityProfileRecords = 9;
constexpr std::int64_t kVisitDatesProfileRecords = 4;
constexpr std::int64_t kPaymentProfileRecords = 4;
constexpr int kShutdownFlushAttempts = 3;
constexpr std::int32_t kVipLevelPaid = 1;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Optional texts are sent only when there is something to say.
void setText(PropertiesNode& properties, const std::string& key, const std::string& value) {
    if (!value.empty()) {
        properties.SetString(key, UsageTrackerImpl::toUtf8(value));
    }
}

void setNumber(PropertiesNode& properties, const std::string& key,
               const std::optional<float>& value) {
    if (value) {
        properties.SetNumber(key, static_cast<double>(*value));
    }
}

void setInteger(PropertiesNode& properties, const std::string& key,
                const std::optional<std::int32_t>& value) {
    if (value) {
        properties.SetNumber(key, *value);
    }
}

void setPositive(PropertiesNode& properties, const std::string& key, float value) {
    if (value > 0) {
        properties.SetNumber(key, static_cast<double>(value));
    }
}

// Task and File never report "Unknown": a result the caller could not tell is no result.
void setKnownResult(PropertiesNode& properties, const std::optional<KoResult>& result) {
    if (result && *result >= KoResult::Success && *result <= KoResult::Fail) {
        properties.SetString("ko_result", toString(*result));
    }
}

// "%f" without the process locale: gtk_init may have switched it to a decimal comma.
std::string fixedText(float value) {
    constexpr int kFixedDecimals = 6;       // what "%f" prints
    constexpr std::size_t kTextBytes = 64;  // a float's integer part has at most 39 digits
    char text[kTextBytes];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                   std::chars_format::fixed, kFixedDecimals)
                         .ptr;
    return std::string(text, end);
}

void require(bool condition, const char* function, std::int32_t line, const std::string& message) {
    if (!condition) {
        throw KoException(kFileName, function, line, message);
    }
}

}  // namespace

std::string UsageTrackerImpl::toUtf8(const std::string& text) {
    if (text.empty() || usage_analytics::isValidUtf8(text)) {
        return text;
    }
    return platform::utf8FromWide(platform::decodeText(text, platform::kCodePageAnsi));
}

UsageTrackerImpl::UsageTrackerImpl(const UsageTrackerConfig& config)
    : appName_(toUtf8(config.appName)),
      appVersion_(toUtf8(config.appVersion)),
      appStore_(toUtf8(config.appStore)),
      dlAppId_(toUtf8(config.dlAppId)),
      dlAppVersion_(toUtf8(config.dlAppVersion)),
      edition_(config.edition),
      serverUrl_(toUtf8(config.serverUrl)),
      logPath_(config.logPath),
      identity_(std::make_unique<UsageIdentity>()) {}

UsageTrackerImpl::~UsageTrackerImpl() {
    {
        const std::lock_guard lock(identityMutex_);
        // A tracker whose init stopped before choosing its files has nowhere to save to.
        if (!identity_->configurationFile().empty()) {
            identity_->save();
        }
    }
    if (unsent_->load() > 0) {
        for (int attempt = 0; attempt < kShutdownFlushAttempts; ++attempt) {
            if (Sdk::Flush()) {
                unsent_->store(0);
                break;
            }
        }
    }
    Sdk::Destroy();
    identity_.reset();
    if (logger_) {
        logger_->close();
    }
}

void UsageTrackerImpl::init() {
    require(!appName_.empty(), "init", kLineAppNameEmpty, "appName is empty");
    require(!appVersion_.empty(), "init", kLineAppVersionEmpty, "appVersion is empty");
    require(!appStore_.empty(), "init", kLineAppStoreEmpty, "appStore is empty");

    unsent_->store(0);
    const std::lock_guard lock(identityMutex_);
    identity_->chooseFiles(appName_, logPath_);
    if (serverUrl_.empty()) {
        serverUrl_ = usage_analytics::collectorUrl();
    }
    identity_->load();
    identity_->reconcile(serverUrl_);

    logger_ = std::make_unique<NativeTrackLogger>();
    logger_->open(logPath_);

    // A file, not the folder: the queue keeps what it could not send there for the next run.
    const std::string stagingPath =
        (std::filesystem::path(identity_->localFolder()) / (appName_ + kStagingSuffix)).string();
    if (identity_->loggedIn()) {
        require(Sdk::Init(stagingPath, serverUrl_, identity_->userId(), true), "init",
                kLineSdkInitLoggedIn, "usage_analytics::Sdk::Init is failed");
    } else {
        require(Sdk::Init(stagingPath, serverUrl_, identity_->distinctId(), false), "init",
                kLineSdkInitAnonymous, "usage_analytics::Sdk::Init is failed");
    }

    PropertiesNode supers;
    supers.SetString("ko_app_id", appName_);
    supers.SetString("$app_version", appVersion_);
    supers.SetString("$app_id", appName_);
    supers.SetString("ko_app_store", appStore_);
    supers.SetString("ko_edition", toString(edition_));
    setText(supers, "ko_dlapp_id", dlAppId_);
    setText(supers, "ko_dlapp_version", dlAppVersion_);
    supers.SetString("ko_app_platform", kAppPlatform);
    supers.SetString("ko_track_type", kTrackType);
    supers.SetString("ko_sdk_version", kSdkVersion);
    supers.SetString("ko_sdk", kSdkName);
    supers.SetString("$os", toUtf8(osName()));
    supers.SetString("$os_version", toUtf8(osVersion()));
    supers.SetString("ko_l10n_locale", toUtf8(identity_->locale()));
    supers.SetString("ko_l10n_language", toUtf8(identity_->language()));
    supers.SetString("ko_l10n_country", toUtf8(identity_->country()));
    supers.SetNumber("$screen_height", static_cast<std::int32_t>(screenHeight()));
    supers.SetNumber("$screen_width", static_cast<std::int32_t>(screenWidth()));
    setText(supers, "ko_user_id", identity_->userId());
    Sdk::RegisterSuperProperties(supers);

    identity_->writeInstallRecord(appStore_, appName_, appVersion_);
}

void UsageTrackerImpl::send(const std::string& eventName, PropertiesNode& properties,
                            KoEventType eventType, const KoContextProperties* context,
                            Flush flush) {
    applyContextProperties(context, eventType, properties);
    Sdk::Track(eventName, properties);
    requestFlushFor(flush);
}

void UsageTrackerImpl::requestFlushFor(Flush flush) {
    if (flush == Flush::DeferredCounted) {
        ++*unsent_;
    }
    requestFlush(unsent_, flush == Flush::Immediate);
}

void UsageTrackerImpl::trackActivity(const KoContextProperties* context) {
    PropertiesNode properties;
    applyContextProperties(context, KoEventType::Activity, properties);
    setText(properties, "ko_app_store", appStore_);
    setText(properties, "ko_app_id", appName_);
    setText(properties, "$app_id", appName_);
    setText(properties, "$app_version", appVersion_);
    properties.SetString("$ios_install_source", kInstallSource);
    setText(properties, "$user_agent", userAgent());
    properties.SetString("$os", toUtf8(osName()));
    properties.SetString("$os_version", toUtf8(osVersion()));
    properties.SetBool(kFirstTimeKey, true);
    Sdk::TrackInstallation("KoEventActivity", properties);
    requestFlushFor(Flush::Immediate);

    const std::int64_t now = nowMs();
    NativeUserTracker::ProfileUserPropertyDateTime("$first_visit_time", now);
    NativeUserTracker::ProfileUserPropertyDateTime("ko_first_visit_date", now);
    NativeUserTracker::ProfileUserPropertyDateTime("ko_last_visit_date", now);
    NativeUserTracker::ProfileUserPropertyString("ko_os", toUtf8(osName()));
    NativeUserTracker::ProfileUserPropertyString("ko_os_version", toUtf8(osVersion()));
    NativeUserTracker::ProfileUserPropertyString("ko_app_store", appStore_);
    NativeUserTracker::ProfileUserPropertyString("ko_app_platform", kAppPlatform);
    NativeUserTracker::ProfileUserPropertyString("ko_last_app_id", appName_);
    NativeUserTracker::ProfileUserPropertyString("ko_last_app_version", appVersion_);
    NativeUserTracker::ProfileUserPropertyString("$ios_install_source", kInstallSource);
    *unsent_ += kActivityProfileRecords;
}

void UsageTrackerImpl::visitDatesProfile(std::int64_t now) {
    NativeUserTracker::ProfileUserPropertyDateTime("$first_visit_time", now);
    NativeUserTracker::ProfileUserPropertyDateTime("ko_first_visit_date", now);
    NativeUserTracker::ProfileUserPropertyDateTime("ko_last_visit_date", now);
}

void UsageTrackerImpl::trackLaunch(const KoContextProperties* context) {
    PropertiesNode properties;
    send("KoEventLaunch", properties, KoEventType::Launch, context, Flush::Immediate);

    bool hasUser = false;
    {
        const std::lock_guard lock(identityMutex_);
        hasUser = !identity_->userId().empty();
    }
    if (hasUser) {
        visitDatesProfile(nowMs());
        *unsent_ += kVisitDatesProfileRecords;
    }
}

void UsageTrackerImpl::trackLogin(const KoUserInfo& user, bool succeeded, const std::string& reason,
                                  const KoContextProperties* context) {
    PropertiesNode properties;
    setText(properties, "ko_user_id", user.userId);
    setText(properties, "ko_login_id", user.userId);
    properties.SetString("ko_type", userType(user.userType));
    properties.SetString("ko_result", succeeded ? "Success" : "Fail");
    setText(properties, "ko_reason", reason);
    if (!user.userId.empty()) {
        properties.SetBool(kFirstTimeKey, true);
    }
    send("KoEventLogin", properties, KoEventType::Login, context, Flush::Immediate);
    if (!user.userId.empty()) {
        loginBookkeeping(user);
    }
}

void UsageTrackerImpl::loginBookkeeping(const KoUserInfo& user) {
    const std::string loginId = toUtf8(user.userId);
    const std::lock_guard lock(identityMutex_);
    identity_->setVipLevel(user.vipLevel);
    if (!identity_->loggedIn() || identity_->userId().empty()) {
        Sdk::Login(loginId);
        identity_->setLoggedIn(true);
        identity_->setUserId(loginId);
        identity_->setDistinctId(loginId);
    }
    PropertiesNode supers;
    supers.SetString("ko_user_id", identity_->userId());
    Sdk::RegisterSuperProperties(supers);
    identity_->save();
}

void UsageTrackerImpl::trackClick(const KoEventClick& event, const KoContextProperties* context) {
    require(!event.name.empty(), "trackClick", __LINE__, "koEventClick.name is empty");
    PropertiesNode properties;
    setText(properties, "ko_name", event.name);
    properties.SetString("ko_click_type", toString(event.clickType));
    setText(properties, "ko_aname", event.aname);
    setText(properties, "ko_title", event.title);
    setText(properties, "ko_position", event.position);
    setText(properties, "ko_module", event.module);
    setText(properties, "ko_tab_name", event.tabName);
    setInteger(properties, "ko_tab_index", event.tabIndex);
    setText(properties, "ko_banner_name", event.bannerName);
    setInteger(properties, "ko_banner_index", event.bannerIndex);
    properties.SetBool(kFirstTimeKey, true);
    send("KoEventClick", properties, KoEventType::Click, context, Flush::DeferredCounted);
}

void UsageTrackerImpl::trackView(const KoEventView& event, const KoContextProperties* context) {
    require(!event.name.empty(), "trackView", __LINE__, "koEventView.name is empty");
    PropertiesNode properties;
    setText(properties, "ko_name", event.name);
    setText(properties, "ko_aname", event.aname);
    setText(properties, "ko_title", event.title);
    setText(properties, "ko_position", event.position);
    properties.SetBool(kFirstTimeKey, true);
    send("KoEventView", properties, KoEventType::View, context, Flush::DeferredCounted);
}

void UsageTrackerImpl::trackCashier(const KoEventCashier& event,
                                    const KoContextProperties* context) {
    require(!event.cashierName.empty(), "trackCashier", __LINE__,
            "koEventCashier.ko_cashier_name is empty");
    PropertiesNode properties;
    setText(properties, "ko_cashier_name", event.cashierName);
    setText(properties, "ko_cashier_title", event.cashierTitle);
    setText(properties, "ko_subitem", event.subitem);
    properties.SetBool(kFirstTimeKey, true);
    send("KoEventCashier", properties, KoEventType::Cashier, context, Flush::DeferredCounted);
}

void UsageTrackerImpl::trackShare(const KoEventShare& event, const KoContextProperties* context) {
    PropertiesNode properties;
    setText(properties, "ko_aname", event.aname);
    setText(properties, "ko_channel", event.channel);
    setText(properties, "ko_position", event.position);
    setText(properties, "ko_shared_name", event.sharedName);
    if (event.result) {
        properties.SetString("ko_result", toString(*event.result));
    }
    properties.SetBool(kFirstTimeKey, true);
    send("KoEventShare", properties, KoEventType::Share, context, Flush::DeferredCounted);
}

void UsageTrackerImpl::trackTask(const KoEventTask& event, const KoContextProperties* context) {
    require(!event.name.empty(), "trackTask", kLineTaskNameEmpty, "koEventTask.name is empty");
    PropertiesNode properties;
    setText(properties, "ko_task_name", event.name);
    setNumber(properties, "ko_task_elapsed", event.elapsedSec);
    if (event.result && *event.result >= KoResult::Success && *event.result <= KoResult::Fail) {
        properties.SetString("ko_task_result", toString(*event.result));
    }
    setText(properties, "ko_aname", event.aname);
    setText(properties, "ko_reason", event.reason);
    properties.SetBool(kFirstTimeKey, true);
    send("KoEventTask", properties, KoEventType::Task, context, Flush::Deferred);
}

void UsageTrackerImpl::trackFile(const KoEventFile& event, const KoContextProperties* context) {
    require(!event.aname.empty(), "trackFile", __LINE__, "koEventFile.aname is empty");
    PropertiesNode properties;
    setText(properties, "ko_aname", event.aname);
    if (event.ioType) {
        properties.SetString("ko_io", toString(*event.ioType));
    }
    setKnownResult(properties, event.result);
    setText(properties, "ko_name", event.name);
    setText(properties, "ko_ext", event.ext);
    if (event.size) {
        setPositive(properties, "ko_size", *event.size);
    }
    setInteger(properties, "ko_duration", event.duration);
    setNumber(properties, "ko_fps", event.fps);
    setNumber(properties, "ko_bps", event.bps);
    setInteger(properties, "ko_width", event.width);
    setInteger(properties, "ko_height", event.height);
    setInteger(properties, "ko_depth", event.depth);
    properties.SetBool(kFirstTimeKey, true);
    send("KoEventFile", properties, KoEventType::File, context, Flush::DeferredCounted);
}

void UsageTrackerImpl::trackOrder(const KoEventOrder& event, const KoContextProperties* context) {
    require(!event.suitId.empty(), "trackOrder", __LINE__, "koEventOrder.koSuitId is empty");
    require(event.currency.has_value(), "trackOrder", __LINE__,
            "koEventOrder.koCurrency is nullptr");
    require(event.originalAmount > 0 && event.paidAmount > 0, "trackOrder", __LINE__,
            "koEventOrder.originalAmount is less than zero");
    PropertiesNode properties;
    setText(properties, "ko_suit_id", event.suitId);
    properties.SetString("ko_currency", toString(*event.currency));
    properties.SetNumber("ko_paid_amount", static_cast<double>(event.paidAmount));
    properties.SetNumber("ko_original_amount", static_cast<double>(event.originalAmount));
    properties.SetBool(kFirstTimeKey, true);
    setText(properties, "ko_order_id", event.orderId);
    setText(properties, "ko_subitem", event.subitem);
    setText(properties, "ko_sku", event.sku);
    setInteger(properties, "ko_campaign_code", event.campaignCode);
    setText(properties, "ko_voucher_id", event.voucherId);
    setPositive(properties, "ko_cur_original_amount", event.curOriginalAmount);
    setPositive(properties, "ko_cur_paid_amount", event.curPaidAmount);
    setText(properties, "ko_cashier_name", event.cashierName);
    setText(properties, "ko_cashier_title", event.cashierTitle);
    send("KoEventOrder", properties, KoEventType::Order, context, Flush::DeferredCounted);
}

void UsageTrackerImpl::trackPayment(const KoEventPayment& event,
                                    const KoContextProperties* context) {
    require(!event.orderId.empty(), "trackPayment", __LINE__, "koEventPayment.koOrderId is empty");
    require(event.paidAmount >= 0, "trackPayment", __LINE__,
            "paidAmount = " + fixedText(event.paidAmount) + " is invalid");
    require(event.originalAmount >= 0, "trackPayment", __LINE__,
            "originalAmount = " + fixedText(event.originalAmount) + " is invalid");
    require(event.result == KoResult::Success || event.result == KoResult::Fail, "trackPayment",
            __LINE__, "koEventPayment.result is invalid");
    PropertiesNode properties;
    setText(properties, "ko_order_id", event.orderId);
    properties.SetString("ko_paid_platform", toString(event.paidPlatform));
    properties.SetString("ko_currency", toString(event.currency));
    properties.SetNumber("ko_paid_amount", static_cast<double>(event.paidAmount));
    properties.SetNumber("ko_original_amount", static_cast<double>(event.originalAmount));
    properties.SetString("ko_result", toString(*event.result));
    properties.SetBool(kFirstTimeKey, true);
    setText(properties, "ko_suit_id", event.suitId);
    if (event.iapType) {
        properties.SetString("ko_iap_type", toString(*event.iapType));
    }
    setText(properties, "ko_subitem", event.subitem);
    setText(properties, "ko_sku", event.sku);
    setText(properties, "ko_voucher_id", event.voucherId);
    setText(properties, "ko_used_voucher_id", event.usedVoucherId);
    setInteger(properties, "ko_campaign_code", event.campaignCode);
    setPositive(properties, "ko_cur_original_amount", event.curOriginalAmount);
    setPositive(properties, "ko_cur_paid_amount", event.curPaidAmount);
    setText(properties, "ko_cashier_name", event.cashierName);
    setText(properties, "ko_cashier_title", event.cashierTitle);
    send("KoEventPayment", properties, KoEventType::Payment, context, Flush::Immediate);

    const std::int64_t now = nowMs();
    NativeUserTracker::ProfileUserPropertyNumber("ko_paid_count", 1);
    NativeUserTracker::ProfileUserPropertyNumber("ko_consumption",
                                                 static_cast<double>(event.paidAmount));
    NativeUserTracker::ProfileUserPropertyDateTime("ko_first_paid_date", now);
    NativeUserTracker::ProfileUserPropertyDateTime("ko_last_paid_date", now);
    *unsent_ += kPaymentProfileRecords;
    if (event.result == KoResult::Success) {
        const std::lock_guard lock(identityMutex_);
        identity_->setVipLevel(kVipLevelPaid);
        identity_->save();
    }
}

void UsageTrackerImpl::trackUninstall(const KoEventUninstall& event,
                                      const KoContextProperties* context) {
    PropertiesNode properties;
    setText(properties, "ko_uninstall_reason", event.uninstallReason);
    send("KoEventUninstall", properties, KoEventType::Uninstall, context, Flush::Immediate);
}

void UsageTrackerImpl::trackCrash(const std::string& reason) {
    PropertiesNode properties;
    setText(properties, "app_crashed_reason", reason);
    send("AppCrashed", properties, KoEventType::Crash, nullptr, Flush::Immediate);
}

void UsageTrackerImpl::trackUpdate(const KoEventUpdate& event, const KoContextProperties* context) {
    PropertiesNode properties;
    switch (event.operation) {
        case KoUpdateOp::UpdateCheck:
            properties.SetString("ko_update_result",
                                 event.result ? toString(*event.result) : std::string());
            break;
        case KoUpdateOp::DownloadStart:
        case KoUpdateOp::UpgradeStart:
            break;
        case KoUpdateOp::DownloadEnd:
        case KoUpdateOp::UpgradeEnd:
            require(event.result.has_value(), "trackUpdate", __LINE__,
                    "Unknown updateResultInfo info");
            require(event.elapsedSec.has_value(), "trackUpdate", __LINE__, "invalid elapsed info");
            properties.SetString("ko_update_result", toString(*event.result));
            properties.SetNumber("ko_elapsed", static_cast<double>(*event.elapsedSec));
            if (event.operation == KoUpdateOp::UpgradeEnd) {
                properties.SetBool(kFirstTimeKey, true);
            }
            break;
        default:
            throw KoException(kFileName, "trackUpdate", __LINE__,
                              "Unknown KoUpdateOp [" +
                                  std::to_string(static_cast<std::int32_t>(event.operation)) +
                                  "]!");
    }
    properties.SetString("ko_update_op", toString(event.operation));
    send("KoEventUpdate", properties, KoEventType::Update, context, Flush::Immediate);
}

void UsageTrackerImpl::trackAppOpenNotification(const KoAppOpenNotification* notification,
                                                const KoContextProperties* context) {
    constexpr char kFunction[] = "trackAppOpenNotification";
    require(notification != nullptr, kFunction, __LINE__, "&appOpenNotification is nullptr");
    require(!notification->planId.empty(), kFunction, __LINE__, "planID is emptry");
    require(!notification->planType.empty(), kFunction, __LINE__, "planType is emptry");
    require(!notification->msgTitle.empty(), kFunction, __LINE__, "msgTitle is emptry");
    PropertiesNode properties;
    setText(properties, "$sf_msg_title", notification->msgTitle);
    setText(properties, "$sf_plan_id", notification->planId);
    setText(properties, "$sf_plan_type", notification->planType);
    properties.SetBool(kFirstTimeKey, true);
    setText(properties, "$sf_msg_content", notification->msgContent);
    setText(properties, "$sf_link_url", notification->linkUrl);
    setText(properties, "$sf_audience_id", notification->audienceId);
    setText(properties, "$sf_plan_strategy_id", notification->planStrategyId);
    setText(properties, "$sf_strategy_unit_id", notification->strategyUnitId);
    send("AppOpenNotification", properties, KoEventType::AppOpenNotification, context,
         Flush::Deferred);
}

void UsageTrackerImpl::setLocale(const std::string& locale) {
    const std::lock_guard lock(identityMutex_);
    identity_->setLocale(toUtf8(locale));
    registerLocale();
}

void UsageTrackerImpl::registerLocale() {
    PropertiesNode supers;
    supers.SetString("ko_l10n_locale", toUtf8(identity_->locale()));
    supers.SetString("ko_l10n_language", toUtf8(identity_->language()));
    supers.SetString("ko_l10n_country", toUtf8(identity_->country()));
    Sdk::RegisterSuperProperties(supers);
}

std::string UsageTrackerImpl::getPrimaryDistinctId() {
    const std::lock_guard lock(identityMutex_);
    return identity_->primaryDistinctId();
}

TrackLogger* UsageTrackerImpl::getTrackLogger() {
    return logger_.get();
}

}  // namespace pelta::usage

#include "usage/sdk.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <utility>

#include "usage/flush_request.h"
#include "usage/record_builder.h"

namespace usage_analytics {

namespace {

constexpr int kMaxRandom = 32767;

// The process-wide instance. Init and Destroy replace it on the main thread while tracking
// threads and flush-request threads take copies of it. Timed, so that a save for a dying process
// can give up on it.
std::timed_mutex g_instanceMutex;
std::shared_ptr<Sdk> g_instance;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::shared_ptr<const PropertiesNode> initialSuperProperties() {
    auto properties = std::make_shared<PropertiesNode>();
    properties->SetString("$lib", "cpp");
    properties->SetString("$lib_version", "0.9");
    return properties;
}

}  // namespace

Sdk::Sdk(Token, const std::string& stagingPath, const std::string& serverUrl,
         std::string distinctId, bool isLoginId)
    : distinctId_(std::move(distinctId)),
      isLoginId_(isLoginId),
      superProperties_(initialSuperProperties()),
      random_(static_cast<std::minstd_rand::result_type>(std::time(nullptr))),
      queue_(serverUrl, stagingPath) {}

bool Sdk::Init(const std::string& stagingPath, const std::string& serverUrl,
               const std::string& distinctId, bool isLoginId) {
    if (!checkId("Distinct ID", distinctId)) {
        return false;
    }
    std::lock_guard lock(g_instanceMutex);
    if (!g_instance) {
        g_instance = std::make_shared<Sdk>(Token(), stagingPath, serverUrl, distinctId, isLoginId);
    }
    return true;
}

void Sdk::Destroy() {
    // Request threads finish first: none of them sends after the instance is gone, and the
    // staging file gets whatever their failed sends put back into the queue.
    pelta::usage::waitForFlushRequests();
    std::shared_ptr<Sdk> dropped;
    {
        std::lock_guard lock(g_instanceMutex);
        dropped = std::move(g_instance);
    }
    // The queue saves its staging file here (or where the last copy goes), outside the lock.
}

bool Sdk::Exists() {
    return instance() != nullptr;
}

bool Sdk::Flush() {
    const std::shared_ptr<Sdk> sdk = instance();
    return sdk && sdk->queue_.flush();
}

bool Sdk::SaveStaging() {
    std::shared_ptr<Sdk> sdk;
    {
        const std::unique_lock lock(g_instanceMutex, RecordQueue::saveLockDeadline());
        if (!lock.owns_lock()) {
            return false;
        }
        sdk = g_instance;
    }
    return sdk && sdk->queue_.saveStaging();
}

void Sdk::Track(const std::string& eventName) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        sdk->addRecord("track", eventName, nullptr);
    }
}

void Sdk::Track(const std::string& eventName, const PropertiesNode& properties) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        sdk->addRecord("track", eventName, &properties);
    }
}

void Sdk::TrackInstallation(const std::string& eventName, const PropertiesNode& properties) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        PropertiesNode withSource;
        withSource.SetString("$ios_install_source", "");
        withSource.merge(properties);
        sdk->addRecord("track", eventName, &withSource);
    }
}

void Sdk::Login(const std::string& loginId) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        sdk->login(loginId);
    }
}

void Sdk::ProfileSet(const PropertiesNode& properties) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        sdk->addRecord("profile_set", "", &properties);
    }
}

void Sdk::ProfileSet(const std::string& key, const std::string& value) {
    PropertiesNode properties;
    properties.SetString(key, value);
    ProfileSet(properties);
}

void Sdk::ProfileSet(const std::string& key, double value) {
    PropertiesNode properties;
    properties.SetNumber(key, value);
    ProfileSet(properties);
}

void Sdk::ProfileSetOnce(const PropertiesNode& properties) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        sdk->addRecord("profile_set_once", "", &properties);
    }
}

void Sdk::ProfileSetOnce(const std::string& key, const std::string& value) {
    PropertiesNode properties;
    properties.SetString(key, value);
    ProfileSetOnce(properties);
}

void Sdk::ProfileSetOnce(const std::string& key, double value) {
    PropertiesNode properties;
    properties.SetNumber(key, value);
    ProfileSetOnce(properties);
}

void Sdk::ProfileIncrement(const PropertiesNode& properties) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        sdk->addRecord("profile_increment", "", &properties);
    }
}

void Sdk::ProfileIncrement(const std::string& key, double value) {
    PropertiesNode properties;
    properties.SetNumber(key, value);
    ProfileIncrement(properties);
}

void Sdk::ProfileAppend(const std::string& key, const std::vector<std::string>& values) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        PropertiesNode properties;
        properties.SetList(key, values);
        sdk->addRecord("profile_append", "", &properties);
    }
}

void Sdk::RegisterSuperProperties(const PropertiesNode& properties) {
    if (const std::shared_ptr<Sdk> sdk = instance()) {
        sdk->registerSuperProperties(properties);
    }
}

std::shared_ptr<Sdk> Sdk::instance() {
    std::lock_guard lock(g_instanceMutex);
    return g_instance;
}

void Sdk::addRecord(const std::string& type, const std::string& eventName,
                    const PropertiesNode* properties) {
    RecordRequest request;
    request.type = type;
    request.eventName = eventName;
    request.properties = properties;
    std::shared_ptr<const PropertiesNode> superProperties;
    {
        std::lock_guard lock(stateMutex_);
        request.distinctId = distinctId_;
        request.isLoginId = isLoginId_;
        superProperties = superProperties_;
    }
    queueRecord(request, *superProperties);
}

void Sdk::login(const std::string& loginId) {
    RecordRequest request;
    request.type = "track_signup";
    request.eventName = "$SignUp";
    request.distinctId = loginId;
    std::shared_ptr<const PropertiesNode> superProperties;
    {
        // One switch under one lock: no record of another thread pairs the old id with the new
        // login flag.
        std::lock_guard lock(stateMutex_);
        request.originalId = std::exchange(distinctId_, loginId);
        request.isLoginId = std::exchange(isLoginId_, true);
        superProperties = superProperties_;
    }
    queueRecord(request, *superProperties);
}

void Sdk::queueRecord(RecordRequest& request, const PropertiesNode& superProperties) {
    request.superProperties = &superProperties;
    std::optional<std::string> record =
        buildRecord(request, nowMs(), [this] { return nextRandom(); });
    if (record) {
        queue_.add(std::move(*record));
    }
}

void Sdk::registerSuperProperties(const PropertiesNode& properties) {
    std::lock_guard lock(stateMutex_);
    auto updated = std::make_shared<PropertiesNode>(*superProperties_);
    updated->merge(properties);
    superProperties_ = std::move(updated);
}

int Sdk::nextRandom() {
    std::lock_guard lock(randomMutex_);
    return std::uniform_int_distribution<int>(0, kMaxRandom)(random_);
}

}  // namespace usage_analytics

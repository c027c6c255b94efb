#pragma once

#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "usage/properties_node.h"
#include "usage/record_builder.h"
#include "usage/record_queue.h"

namespace usage_analytics {

// The analytics SDK: turns tracking calls into checked JSON records and queues them for the
// collector. One instance per process, created by Init and destroyed by Destroy; every other
// operation does nothing while there is none. Rejected input is reported as one line on standard
// error and the call is dropped; nothing is raised.
//
// Threads: Init and Destroy run on the main thread; every other operation may be called from
// any thread. The process-wide instance pointer is guarded by a mutex and each call works on its
// own shared copy of it, so an instance that Destroy drops while a call is running on another
// thread goes away when that call ends.
class Sdk {
public:
    static bool Init(const std::string& stagingPath, const std::string& serverUrl,
                     const std::string& distinctId, bool isLoginId);

    // Waits for running flush requests, then destroys the instance (its queue saves the staging
    // file; nothing is sent).
    static void Destroy();

    static bool Exists();

    // Sends everything queued; true when the queue ends up empty, false when a send failed or
    // there is no instance.
    static bool Flush();

    // Writes what is queued to the staging file without sending, so the next run delivers it.
    // Meant for a process about to die of a crash: it waits for a lock no longer than
    // RecordQueue::kSaveLockWaitMs each (the crashed thread may hold one for good) and returns
    // false, having written nothing, when one stays taken or there is no instance.
    static bool SaveStaging();

    static void Track(const std::string& eventName);
    static void Track(const std::string& eventName, const PropertiesNode& properties);
    // A track record whose properties always carry "$ios_install_source" (empty unless given).
    static void TrackInstallation(const std::string& eventName, const PropertiesNode& properties);
    // Sends "$SignUp" from the current distinct id to the login id, then tracks as the login id.
    static void Login(const std::string& loginId);

    static void ProfileSet(const PropertiesNode& properties);
    static void ProfileSet(const std::string& key, const std::string& value);
    static void ProfileSet(const std::string& key, double value);
    static void ProfileSetOnce(const PropertiesNode& properties);
    static void ProfileSetOnce(const std::string& key, const std::string& value);
    static void ProfileSetOnce(const std::string& key, double value);
    static void ProfileIncrement(const PropertiesNode& properties);
    static void ProfileIncrement(const std::string& key, double value);
    static void ProfileAppend(const std::string& key, const std::vector<std::string>& values);

    // Copied into the properties of every later track record, replacing keys already registered.
    static void RegisterSuperProperties(const PropertiesNode& properties);

    // Only Init makes an instance.
    class Token {
        friend class Sdk;
        Token() = default;
    };
    Sdk(Token, const std::string& stagingPath, const std::string& serverUrl, std::string distinctId,
        bool isLoginId);
    Sdk(const Sdk&) = delete;
    Sdk& operator=(const Sdk&) = delete;

private:
    static std::shared_ptr<Sdk> instance();

    void addRecord(const std::string& type, const std::string& eventName,
                   const PropertiesNode* properties);
    void login(const std::string& loginId);
    void queueRecord(RecordRequest& request, const PropertiesNode& superProperties);
    void registerSuperProperties(const PropertiesNode& properties);
    int nextRandom();

    // Read by every tracking thread, written by Login and RegisterSuperProperties. The
    // super properties are replaced, never changed in place, so a record being built keeps the
    // set it copied.
    std::mutex stateMutex_;
    std::string distinctId_;
    bool isLoginId_;
    std::shared_ptr<const PropertiesNode> superProperties_;

    std::mutex randomMutex_;  // tracking threads draw track ids from one generator
    std::minstd_rand random_;

    RecordQueue queue_;
};

}  // namespace usage_analytics

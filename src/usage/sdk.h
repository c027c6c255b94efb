#pragma once

#include <string>

namespace usage_analytics {

// The analytics SDK: turns tracking calls into checked JSON records and queues them for the
// collector. One instance per process, created by Init and destroyed by Destroy; every other
// operation does nothing while there is none. Rejected input is reported as one line on standard
// error and the call is dropped; nothing is raised.
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
};

}  // namespace usage_analytics

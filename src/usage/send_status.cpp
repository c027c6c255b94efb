#include "usage/send_status.h"

#include <mutex>

namespace usage_analytics {
namespace {

// Written by whichever thread finished a send, read by every thread that requests a flush.
struct SendStatus {
    std::mutex mutex;
    bool lastSucceeded = false;  // so that the first requests of a run never block their caller
};

SendStatus& sendStatus() {
    static SendStatus status;
    return status;
}

}  // namespace

bool lastSendSucceeded() {
    SendStatus& status = sendStatus();
    const std::lock_guard lock(status.mutex);
    return status.lastSucceeded;
}

void setLastSendSucceeded(bool succeeded) {
    SendStatus& status = sendStatus();
    const std::lock_guard lock(status.mutex);
    status.lastSucceeded = succeeded;
}

}  // namespace usage_analytics

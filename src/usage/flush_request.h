#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// Flush requests: how the tracker decides when queued records leave the process. There is no
// timer; records are sent when an immediate request finds unsent events, and at shutdown.
namespace pelta::usage {

// The tracker's count of events not yet sent: a hint, not an exact count. Shared, so that a
// request running on its own thread never outlives the counter it updates.
using UnsentEventCounter = std::atomic<std::int32_t>;

// A deferred request (immediate false) only counts one more unsent event after 1 ms; an immediate
// one flushes the SDK when the counter is above 0. It runs on the calling thread while the last
// send succeeded, else on a thread of its own so that a dead network never stalls the caller.
void requestFlush(std::shared_ptr<UnsentEventCounter> unsent, bool immediate);

// Waits until no request thread is running. Called before the SDK instance goes away and before
// the HTTP library is cleaned up; each request is bounded by the send time-out.
void waitForFlushRequests();

}  // namespace pelta::usage

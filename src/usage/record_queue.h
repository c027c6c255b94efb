#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

namespace usage_analytics {

// Analytics records (compact JSON objects) waiting to be sent, oldest first, and the sending of
// them in batches. Producers on any thread only append under the queue lock; one flush at a
// time takes a batch out, sends it and, when the send fails, puts it back at the front so that
// nothing is reordered.
class RecordQueue {
public:
    static constexpr std::size_t kMaxRecords = 1024;
    static constexpr std::size_t kBatchRecords = 30;
    // How long a save for a dying process waits for a lock: other threads hold it only for a
    // moment, so a lock still taken after this is held by a thread that will never let go.
    static constexpr std::chrono::milliseconds kSaveLockWaitMs{500};

    RecordQueue(std::string serverUrl, std::string stagingPath);
    // Loads and saves the staging file; sends nothing.
    ~RecordQueue();
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    // Appends a record, dropping the oldest when more than kMaxRecords are queued.
    void add(std::string record);

    // Sends batches until the queue is empty (true) or a send fails (false, the rest queued).
    bool flush();

    // Sends one batch of at most kBatchRecords; true when it was sent or there was nothing.
    bool flushPart();

    // What is queued now, oldest first.
    std::deque<std::string> records() const;

    // Writes the staging file now, without sending: the batch being sent (if any) first, then
    // the queue. For a process that is about to die, so it never waits long: when the queue lock
    // stays taken for kSaveLockWaitMs (by a thread the crash interrupted, say) it gives up and
    // returns false. A batch whose send succeeds after this may reach the collector twice; losing
    // it would be worse.
    bool saveStaging();
    // When such a save stops waiting for a lock taken now.
    static std::chrono::system_clock::time_point saveLockDeadline();

private:
    // Both expect the queue lock to be held.
    void loadStagingLocked();
    void saveStagingLocked() const;

    const std::string serverUrl_;
    const std::string stagingPath_;

    mutable std::timed_mutex
        queueMutex_;  // records_ and stagingPending_, from every producer thread
    std::deque<std::string> records_;
    std::deque<std::string> inFlight_;  // copy of the batch a flush is sending
    bool stagingPending_ = true;

    std::mutex flushMutex_;  // one batch in flight at a time
};

}  // namespace usage_analytics

#include "usage/record_queue.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>

#include "usage/batch_sender.h"

namespace usage_analytics {

std::chrono::system_clock::time_point RecordQueue::saveLockDeadline() {
    // On the system clock the wait is a plain timed lock, which thread checkers understand; a
    // clock step during these few hundred milliseconds only shortens or stretches one wait.
    return std::chrono::system_clock::now() + kSaveLockWaitMs;
}

RecordQueue::RecordQueue(std::string serverUrl, std::string stagingPath)
    : serverUrl_(std::move(serverUrl)), stagingPath_(std::move(stagingPath)) {}

RecordQueue::~RecordQueue() {
    const std::lock_guard lock(queueMutex_);
    loadStagingLocked();
    saveStagingLocked();
}

void RecordQueue::add(std::string record) {
    const std::lock_guard lock(queueMutex_);
    records_.push_back(std::move(record));
    if (records_.size() > kMaxRecords) {
        records_.pop_front();
    }
}

bool RecordQueue::flush() {
    {
        const std::lock_guard lock(queueMutex_);
        loadStagingLocked();
    }
    for (;;) {
        {
            const std::lock_guard lock(queueMutex_);
            if (records_.empty()) {
                return true;
            }
        }
        if (!flushPart()) {
            return false;
        }
    }
}

bool RecordQueue::flushPart() {
    const std::lock_guard flushLock(flushMutex_);
    std::deque<std::string> batch;
    {
        const std::lock_guard lock(queueMutex_);
        loadStagingLocked();
        const std::size_t count = std::min(records_.size(), kBatchRecords);
        if (count == 0) {
            return true;
        }
        const auto end = records_.begin() + static_cast<std::ptrdiff_t>(count);
        batch.assign(std::make_move_iterator(records_.begin()), std::make_move_iterator(end));
        records_.erase(records_.begin(), end);
        inFlight_ = batch;
    }

    std::string array = "[";
    for (const std::string& record : batch) {
        if (array.size() > 1) {
            array += ',';
        }
        array += record;
    }
    array += ']';

    bool sent = false;
    try {
        sent = sendBatch(serverUrl_, array);
    } catch (const std::exception& error) {
        // Without an HTTP handle the next attempt would fail the same way; the batch is dropped.
        std::cerr << "Exception when flush failed: (" << error.what() << ") \n";
        const std::lock_guard lock(queueMutex_);
        inFlight_.clear();
        return false;
    }
    const std::lock_guard lock(queueMutex_);
    inFlight_.clear();
    if (!sent) {
        // Records added while the batch was out keep their place; the batch's oldest records give
        // way when both no longer fit.
        const std::size_t room = kMaxRecords - std::min(records_.size(), kMaxRecords);
        const std::size_t kept = std::min(room, batch.size());
        records_.insert(records_.begin(),
                        std::make_move_iterator(batch.end() - static_cast<std::ptrdiff_t>(kept)),
                        std::make_move_iterator(batch.end()));
    }
    return sent;
}

bool RecordQueue::saveStaging() {
    const std::unique_lock lock(queueMutex_, saveLockDeadline());
    if (!lock.owns_lock()) {
        return false;
    }
    // Loaded first, or the records an earlier run left there would be overwritten.
    loadStagingLocked();
    saveStagingLocked();
    return true;
}

std::deque<std::string> RecordQueue::records() const {
    const std::lock_guard lock(queueMutex_);
    return records_;
}

void RecordQueue::loadStagingLocked() {
    if (!stagingPending_) {
        return;
    }
    stagingPending_ = false;
    std::deque<std::string> staged;
    {
        std::ifstream in(stagingPath_, std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (line.size() >= 2 && line.front() == '{' && line.back() == '}') {
                staged.push_back(std::move(line));
                if (staged.size() > kMaxRecords) {
                    staged.pop_front();
                }
            }
        }
    }
    records_.insert(records_.begin(), std::make_move_iterator(staged.begin()),
                    std::make_move_iterator(staged.end()));
    // What was read now lives in the queue; the next save writes it back once.
    std::ofstream truncate(stagingPath_, std::ios::binary | std::ios::trunc);
}

void RecordQueue::saveStagingLocked() const {
    std::ofstream out(stagingPath_, std::ios::binary | std::ios::trunc);
    for (const std::string& record : inFlight_) {
        out << record << '\n';
    }
    for (const std::string& record : records_) {
        out << record << '\n';
    }
}

}  // namespace usage_analytics

#include "usage/native_track_logger.h"

#include <fstream>

namespace pelta::usage {

NativeTrackLogger::~NativeTrackLogger() = default;

bool NativeTrackLogger::open(const std::string& path) {
    const std::lock_guard lock(mutex_);
    if (file_ && path == path_) {
        return true;
    }
    file_.reset();
    path_ = path;
    lineCount_ = -1;
    // "a" creates a missing file and never truncates an existing one; "e" keeps it out of
    // programs the installer starts.
    file_.reset(std::fopen(path.c_str(), "ae"));
    return file_ != nullptr;
}

void NativeTrackLogger::close() {
    const std::lock_guard lock(mutex_);
    file_.reset();
    lineCount_ = -1;
}

std::string NativeTrackLogger::path() const {
    const std::lock_guard lock(mutex_);
    return path_;
}

std::vector<std::string> NativeTrackLogger::readRecords() {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> records;
    if (path_.empty()) {
        return records;
    }
    if (file_) {
        std::fflush(file_.get());
    }
    std::ifstream in(path_, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        records.push_back(std::move(line));
    }
    lineCount_ = static_cast<std::int64_t>(records.size());
    return records;
}

void NativeTrackLogger::clear() {
    const std::lock_guard lock(mutex_);
    if (path_.empty()) {
        return;
    }
    const bool wasOpen = file_ != nullptr;
    file_.reset();
    std::ofstream(path_, std::ios::binary | std::ios::trunc);
    if (wasOpen) {
        file_.reset(std::fopen(path_.c_str(), "ae"));
    }
    lineCount_ = 0;
}

}  // namespace pelta::usage

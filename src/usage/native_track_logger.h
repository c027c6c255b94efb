#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "usage/track_logger.h"

namespace pelta::usage {

// The tracker's local event log: one record per line in a file kept open for appending.
// Any thread may call; the file and the line count are guarded by one mutex.
class NativeTrackLogger : public TrackLogger {
public:
    NativeTrackLogger() = default;
    ~NativeTrackLogger() override;
    NativeTrackLogger(const NativeTrackLogger&) = delete;
    NativeTrackLogger& operator=(const NativeTrackLogger&) = delete;

    // Opening the path already open does nothing; another path closes the current file first.
    // The file is created when missing. False when it cannot be opened.
    bool open(const std::string& path);
    void close();

    // The lines of the log, oldest first, without their line ends.
    std::vector<std::string> readRecords() override;
    // Empties the log; it stays open for appending.
    void clear() override;

    std::string path() const;

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    mutable std::mutex mutex_;
    std::string path_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::int64_t lineCount_ = -1;  // -1 until the file has been read
};

}  // namespace pelta::usage

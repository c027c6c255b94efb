#pragma once

#include <unistd.h>

#include <string>
#include <utility>

// Owners of a file descriptor and of a temporary file, for the places that write a file under a
// temporary name and rename it into place. Header-only, so that the small helper programs can use
// them without linking the platform library.
namespace platform {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now, for the callers that must know whether the close succeeded: a write the kernel
    // can only report at close is not lost.
    bool reset() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

// Removes the temporary file on every path except the one that renamed it into place.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
    ~TempFileGuard() {
        if (!committed_) {
            unlink(path_.c_str());
        }
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

    void commit() { committed_ = true; }

private:
    std::string path_;
    bool committed_ = false;
};

}  // namespace platform

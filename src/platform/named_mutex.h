#pragma once

#include <optional>
#include <string>
#include <string_view>

// A system-wide named mutex, held by at most one process at a time: an exclusive flock on a lock
// file named after the mutex. The kernel drops the lock when the holder ends, crash included, so
// a stale file never locks anybody out; the file itself is never unlinked, which would let two
// processes hold "the same" mutex on different inodes.
namespace platform {

class NamedMutex {
public:
    // The mutex when nobody else holds it; nothing when another process does or the lock file
    // cannot be opened. The lock file lives in runtimeFolder(fallbackFolderName).
    static std::optional<NamedMutex> tryAcquire(std::wstring_view name,
                                                std::wstring_view fallbackFolderName);

    NamedMutex(NamedMutex&& other) noexcept;
    NamedMutex& operator=(NamedMutex&& other) noexcept;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;
    ~NamedMutex();

private:
    explicit NamedMutex(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace platform

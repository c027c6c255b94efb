#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/environment.h"
#include "platform/path.h"

namespace platform {

namespace {

constexpr mode_t kLockFileMode = 0600;

}  // namespace

std::optional<NamedMutex> NamedMutex::tryAcquire(std::wstring_view name,
                                                 std::wstring_view fallbackFolderName) {
    const std::wstring folder = runtimeFolder(fallbackFolderName);
    if (folder.empty()) {
        return std::nullopt;
    }
    const std::string lockFile = nativePath(joinPath(folder, std::wstring(name) + L".lock"));
    // O_CLOEXEC: a program we start must not keep the mutex held after we end.
    const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode);
    if (fd < 0) {
        return std::nullopt;
    }
    NamedMutex mutex(fd);
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return std::nullopt;
    }
    return mutex;
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

NamedMutex::~NamedMutex() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

}  // namespace platform

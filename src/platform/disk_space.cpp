#include "platform/disk_space.h"

#include <errno.h>
#include <sys/statvfs.h>

#include <string>

#include "platform/path.h"

namespace platform {

bool diskFreeSpace(std::wstring_view path, DiskSpace& space, int& errorCode) {
    if (path.empty()) {
        errorCode = ENOENT;
        return false;
    }
    std::wstring candidate(path);
    for (;;) {
        struct statvfs info {};
        if (statvfs(nativePath(candidate).c_str(), &info) == 0) {
            const std::uint64_t unitBytes = info.f_frsize;
            space.freeBytesToCaller = static_cast<std::uint64_t>(info.f_bavail) * unitBytes;
            space.totalBytes = static_cast<std::uint64_t>(info.f_blocks) * unitBytes;
            space.totalFreeBytes = static_cast<std::uint64_t>(info.f_bfree) * unitBytes;
            return true;
        }
        const int error = errno;
        // Only a missing component moves the question up; a file in the way or a refused
        // search is an answer about this path.
        std::wstring parent = parentFolder(candidate);
        if (parent.empty() && candidate != L".") {
            // A relative path without a separator lives in the current folder.
            parent = L".";
        }
        if (error != ENOENT || parent.empty() || parent == candidate) {
            errorCode = error;
            return false;
        }
        candidate = std::move(parent);
    }
}

}  // namespace platform

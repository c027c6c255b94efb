#pragma once

#include <cstdint>
#include <string_view>

// Free and total space of the file system that holds a path.
namespace platform {

struct DiskSpace {
    std::uint64_t freeBytesToCaller = 0;  // what an unprivileged writer may still use
    std::uint64_t totalBytes = 0;
    std::uint64_t totalFreeBytes = 0;  // including the blocks reserved for root
};

// Asks the file system of the path, or of its nearest existing ancestor when the path does not
// exist yet (an install folder is usually chosen before it is created). False with errno's value
// in errorCode when neither the path nor any ancestor can be asked; space is then unchanged.
bool diskFreeSpace(std::wstring_view path, DiskSpace& space, int& errorCode);

}  // namespace platform

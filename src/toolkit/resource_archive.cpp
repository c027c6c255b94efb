#include "toolkit/resource_archive.h"

#include <mutex>
#include <utility>

namespace SkinUI {

namespace {

// Registered by the UI thread, read by whichever thread builds a window or decodes an image.
std::mutex registeredArchiveMutex;
std::shared_ptr<const ResourceArchive> registeredArchive;

}  // namespace

void registerResourceArchive(std::shared_ptr<const ResourceArchive> archive) {
    const std::lock_guard lock(registeredArchiveMutex);
    registeredArchive = std::move(archive);
}

std::shared_ptr<const ResourceArchive> registeredResourceArchive() {
    const std::lock_guard lock(registeredArchiveMutex);
    return registeredArchive;
}

}  // namespace SkinUI

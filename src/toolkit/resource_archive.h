#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// Where the toolkit loads layout files and images from when a window's resources live in an
// archive instead of loose files. The application decodes its archive once and registers it;
// every window after that reads from the same registered archive.
namespace SkinUI {

class ResourceArchive {
public:
    struct Entry {
        std::uint32_t index = 0;  // position in the archive's file list
        std::uint64_t size = 0;   // unpacked bytes
    };

    virtual ~ResourceArchive() = default;

    // The first entry whose name equals `name` ignoring case, with "\" read as "/".
    virtual std::optional<Entry> find(std::wstring_view name) const = 0;
    // The whole content of the entry with this index; nothing when there is none.
    virtual std::optional<std::vector<std::uint8_t>> read(std::uint32_t index) const = 0;
};

// The archive the toolkit reads from, shared by every window of the process. Registering
// replaces the previous one; windows created before keep what they loaded.
void registerResourceArchive(std::shared_ptr<const ResourceArchive> archive);
std::shared_ptr<const ResourceArchive> registeredResourceArchive();

}  // namespace SkinUI

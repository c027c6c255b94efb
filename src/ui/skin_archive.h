#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/resource_archive.h"

// The installer's skin: every layout and image its windows use, packed into one 7z archive that
// the executable carries as a resource. It is unpacked completely, once per process, so that
// page changes and the 30 ms animation frames never wait for decompression.
namespace ui {

// One file of the archive, unpacked.
struct SkinEntry {
    std::wstring name;             // path as stored, "/" separated
    std::uint32_t nameLength = 0;  // UTF-16 units of the name, terminating zero included
    std::uint32_t index = 0;       // position in the archive's file list, directories counted
    std::vector<std::uint8_t> data;
    std::uint64_t size = 0;
};

class SkinArchive final : public SkinUI::ResourceArchive {
public:
    // Decodes a 7z archive held in memory. Bytes that are not a readable archive give an archive
    // without entries; an entry that fails to extract ends the decoding, keeping those before it.
    SkinArchive(std::wstring name, std::span<const std::uint8_t> bytes);

    // The name it was registered under ("membuffer" for the embedded skin).
    const std::wstring& name() const { return name_; }
    const std::vector<SkinEntry>& entries() const { return entries_; }

    // Both spellings of the separator and any letter case find the same file; a directory
    // finds nothing, as directories have no entries.
    std::optional<Entry> find(std::wstring_view name) const override;
    std::optional<std::vector<std::uint8_t>> read(std::uint32_t index) const override;

private:
    std::wstring name_;
    std::vector<SkinEntry> entries_;
};

// The name the skin archive is registered under.
inline constexpr wchar_t kSkinArchiveName[] = L"membuffer";

// Copies the resource bytes into a buffer kept for the rest of the process, decodes them and
// registers the result with the toolkit under "membuffer". While that archive stays registered,
// later calls return it without decoding again. Empty bytes register nothing (null).
std::shared_ptr<const SkinArchive> registerSkinArchive(std::span<const std::uint8_t> resource);

// The process entry's step before the first window: registers the embedded skin archive. Null
// when the program carries no skin resource or an empty one; nothing is registered then.
std::shared_ptr<const SkinArchive> prepareSkinArchive();

}  // namespace ui

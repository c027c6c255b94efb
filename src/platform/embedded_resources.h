#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Resources carried inside the executable (the skin archive, the window icon), looked up by type
// name and numeric id as the installer asks for them.
//
// The bytes and the table that lists them are linked in from an assembly object that only the
// programs with resources contain; the platform library holds an empty default table, so that
// every other program links and simply finds nothing.
namespace platform {

// One row of the linked table. Assembly writes these rows by hand, so the layout is fixed: a
// pointer to the zero-terminated type name, the id padded to eight bytes, then the first and the
// one-past-last byte. A row whose type is null ends the table.
struct EmbeddedResource {
    const char* type;
    std::uint32_t id;
    const std::uint8_t* begin;
    const std::uint8_t* end;
};

// The bytes of the resource with this type name (compared exactly) and id; nothing when the
// program carries no such resource. An empty resource gives an empty span.
std::optional<std::span<const std::uint8_t>> findEmbeddedResource(std::string_view type,
                                                                  std::uint32_t id);

}  // namespace platform

// The table's symbol: defined weakly (empty) by the platform library, strongly by a program's
// resource object.
extern "C" const platform::EmbeddedResource brivano_embedded_resources[];

#include "platform/embedded_resources.h"

#include <cstddef>

static_assert(sizeof(platform::EmbeddedResource) == 32 &&
                  offsetof(platform::EmbeddedResource, id) == 8 &&
                  offsetof(platform::EmbeddedResource, begin) == 16 &&
                  offsetof(platform::EmbeddedResource, end) == 24,
              "the assembly rows of the resource table rely on this layout");

// Weak, so that a program's resource object replaces it at link time; a program without one
// still links and carries no resources.
extern "C" __attribute__((weak))
const platform::EmbeddedResource brivano_embedded_resources[] = {{nullptr, 0, nullptr, nullptr}};

namespace platform {

std::optional<std::span<const std::uint8_t>> findEmbeddedResource(std::string_view type,
                                                                  std::uint32_t id) {
    for (const EmbeddedResource* row = brivano_embedded_resources; row->type != nullptr; ++row) {
        if (row->id == id && type == row->type) {
            return std::span<const std::uint8_t>(row->begin, row->end);
        }
    }
    return std::nullopt;
}

}  // namespace platform

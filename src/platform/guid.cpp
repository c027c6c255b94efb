#include "platform/guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

namespace platform {

namespace {

constexpr std::size_t kGuidBytes = 16;
constexpr std::uint16_t kVersionMask = 0x0FFF;
constexpr std::uint16_t kVersion4 = 0x4000;
constexpr std::uint8_t kVariantMask = 0x3F;
constexpr std::uint8_t kVariantRfc4122 = 0x80;

bool fillRandom(std::uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = getrandom(bytes + done, count - done, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::uint32_t littleEndian32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint16_t littleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

bool newGuid(Guid& guid) {
    std::uint8_t bytes[kGuidBytes];
    if (!fillRandom(bytes, kGuidBytes)) {
        return false;
    }
    guid.data1 = littleEndian32(bytes);
    guid.data2 = littleEndian16(bytes + 4);
    guid.data3 = static_cast<std::uint16_t>((littleEndian16(bytes + 6) & kVersionMask) | kVersion4);
    for (std::size_t i = 0; i < guid.data4.size(); ++i) {
        guid.data4[i] = bytes[8 + i];
    }
    guid.data4[0] = static_cast<std::uint8_t>((guid.data4[0] & kVariantMask) | kVariantRfc4122);
    return true;
}

}  // namespace platform

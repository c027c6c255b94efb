#pragma once

#include <array>
#include <cstdint>

namespace platform {

// 16 random bytes shaped as an RFC 4122 version 4 identifier, in the byte order a GUID keeps
// (first three fields little-endian, as Windows stores them).
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
};

// False only when the system could not give random bytes.
bool newGuid(Guid& guid);

}  // namespace platform

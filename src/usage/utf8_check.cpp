#include "usage/utf8_check.h"

#include <cstddef>

namespace usage_analytics {

namespace {

bool inRange(unsigned char byte, unsigned char low, unsigned char high) {
    return byte >= low && byte <= high;
}

// A multi-byte sequence: its length and the range of its second byte (the bytes after that are
// always 0x80..0xBF).
struct Lead {
    std::size_t length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

// Length 0 for a byte that starts no valid sequence.
Lead leadOf(unsigned char byte) {
    if (inRange(byte, 0xC2, 0xDF)) {
        return {2, 0x80, 0xBF};
    }
    if (byte == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (inRange(byte, 0xE1, 0xEC) || inRange(byte, 0xEE, 0xEF)) {
        return {3, 0x80, 0xBF};
    }
    if (byte == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (byte == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (inRange(byte, 0xF1, 0xF3)) {
        return {4, 0x80, 0xBF};
    }
    if (byte == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {0, 0, 0};
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '\t' || byte == '\n' || byte == '\r' || inRange(byte, 0x20, 0x7E)) {
            ++at;
            continue;
        }
        const Lead lead = leadOf(byte);
        if (lead.length == 0 || text.size() - at < lead.length) {
            return false;
        }
        if (!inRange(static_cast<unsigned char>(text[at + 1]), lead.secondLow, lead.secondHigh)) {
            return false;
        }
        for (std::size_t next = 2; next < lead.length; ++next) {
            if (!inRange(static_cast<unsigned char>(text[at + next]), 0x80, 0xBF)) {
                return false;
            }
        }
        at += lead.length;
    }
    return true;
}

}  // namespace usage_analytics

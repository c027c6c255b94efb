#include "platform/embedded_resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const std::uint8_t kArchiveBytes[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
const std::uint8_t kIconBytes[] = {0x89, 'P', 'N', 'G'};

}  // namespace

// This program's own resource table, as a program's resource object provides one; it takes the
// place of the library's empty default at link time.
extern "C" const platform::EmbeddedResource brivano_embedded_resources[] = {
    {"ZIPRES", 147, kArchiveBytes, kArchiveBytes + sizeof kArchiveBytes},
    {"ICON", 145, kIconBytes, kIconBytes + sizeof kIconBytes},
    {"ZIPRES", 148, kIconBytes, kIconBytes},
    {nullptr, 0, nullptr, nullptr},
};

namespace platform {
namespace {

TEST(EmbeddedResources, FindsByTypeNameAndId) {
    struct Case {
        const char* what;
        std::string type;
        std::uint32_t id;
        std::optional<std::vector<std::uint8_t>> expected;
    };
    const Case cases[] = {
        {"archive", "ZIPRES", 147,
         std::vector<std::uint8_t>(std::begin(kArchiveBytes), std::end(kArchiveBytes))},
        {"icon", "ICON", 145,
         std::vector<std::uint8_t>(std::begin(kIconBytes), std::end(kIconBytes))},
        {"empty resource", "ZIPRES", 148, std::vector<std::uint8_t>{}},
        {"wrong type", "ICON", 147, std::nullopt},
        {"type that is a prefix", "ZIP", 147, std::nullopt},
        {"longer type", "ZIPRESX", 147, std::nullopt},
        {"wrong id", "ZIPRES", 145, std::nullopt},
        {"unknown id", "ZIPRES", 0, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto found = findEmbeddedResource(c.type, c.id);
        ASSERT_EQ(found.has_value(), c.expected.has_value()) << c.what;
        if (found) {
            EXPECT_EQ(std::vector<std::uint8_t>(found->begin(), found->end()), *c.expected)
                << c.what;
        }
    }
}

}  // namespace
}  // namespace platform

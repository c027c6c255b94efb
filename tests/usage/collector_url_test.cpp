#include "usage/collector_url.h"

#include <gtest/gtest.h>

#include "support/scoped_env.h"

namespace usage_analytics {
namespace {

using test_support::ScopedEnv;

TEST(CollectorUrl, EnvironmentOverridesTheBuiltInServer) {
    const std::string builtIn = "https://" BRIVANO_COLLECTOR_HOST "/sa?project=pc";
    const struct {
        std::optional<std::string> setting;
        std::string expected;
    } cases[] = {
        {std::nullopt, builtIn},
        {"", builtIn},
        {"http://127.0.0.1:5/sa?project=pc", "http://127.0.0.1:5/sa?project=pc"},
    };
    for (const auto& c : cases) {
        const ScopedEnv env{{"BRIVANO_COLLECTOR_URL", c.setting}};
        EXPECT_EQ(collectorUrl(), c.expected) << c.setting.value_or("(unset)");
    }
}

}  // namespace
}  // namespace usage_analytics

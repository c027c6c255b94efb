#include "settings/command_line_args.h"

#include <gtest/gtest.h>

namespace settings {
namespace {

TEST(CommandLineArgs, SplitsAtTheFirstEqualsAndKeepsTheFirstOccurrence) {
    const CommandLineArgs args(
        {L"/opt/setup dir/brivano-setup", L"-a=1=2", L"-a=3", L"plain", L"-flag", L"-e=", L"x=y"});
    EXPECT_TRUE(args.has(L"/opt/setup dir/brivano-setup"));
    EXPECT_EQ(args.text(L"-a"), L"1=2");
    EXPECT_TRUE(args.has(L"plain"));
    EXPECT_EQ(args.text(L"-flag"), L"");
    EXPECT_TRUE(args.has(L"-e"));
    EXPECT_EQ(args.text(L"-e"), L"");
    EXPECT_TRUE(args.has(L"x=y"));
    EXPECT_FALSE(args.has(L"x"));
    EXPECT_FALSE(args.has(L"-A"));
}

}  // namespace
}  // namespace settings

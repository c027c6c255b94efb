#include "platform/child_environment.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "support/child_process.h"

namespace {

constexpr const char* kLoaderVariables[] = {"LD_PRELOAD", "LD_LIBRARY_PATH", "LD_AUDIT"};

// Runs the hardening in a child with the loader variables set, as the given effective user;
// the exit status has one bit per variable that is still set afterwards.
int variablesLeftAfterHardening(uid_t euid) {
    const test_support::ChildRun run = test_support::runInChild([euid](int) {
        for (const char* name : kLoaderVariables) {
            setenv(name, "/tmp/somewhere", 1);
        }
        setenv("BRIVANO_TEST_UNRELATED", "x", 1);
        if (euid != geteuid() && setresuid(euid, euid, euid) != 0) {
            return 100;
        }
        platform::hardenChildEnvironment();
        int left = 0;
        for (int i = 0; i < 3; ++i) {
            if (getenv(kLoaderVariables[i]) != nullptr) {
                left |= 1 << i;
            }
        }
        if (getenv("BRIVANO_TEST_UNRELATED") == nullptr) {
            return 101;
        }
        return left;
    });
    return run.exitCode();
}

TEST(HardenChildEnvironment, RemovesLoaderVariablesOnlyForRoot) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the hardening both as root and as another user";
    }
    struct Case {
        const char* label;
        uid_t euid;
        int expectedLeft;
    };
    const Case cases[] = {
        {"root", 0, 0},
        {"ordinary user", 65534, 0b111},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(variablesLeftAfterHardening(c.euid), c.expectedLeft) << c.label;
    }
}

}  // namespace

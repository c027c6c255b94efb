#include "platform/accounts.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/child_process.h"
#include "support/scoped_env.h"

namespace {

using test_support::runInChild;
using test_support::ScopedEnv;

constexpr int kSkipExitCode = 77;
constexpr int kSetupFailedExitCode = 78;

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    file.close();
    return !file.fail();
}

// Gives this (single-threaded, forked) process a mount namespace of its own with an empty /run.
// Without root a user namespace grants the mount rights, with our own ids mapped so that we may
// still create files.
bool enterPrivateRun() {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (uid != 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
            !writeFile("/proc/self/setgroups", "deny") ||
            !writeFile("/proc/self/uid_map",
                       std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
            !writeFile("/proc/self/gid_map",
                       std::to_string(gid) + " " + std::to_string(gid) + " 1")) {
            return false;
        }
    } else if (unshare(CLONE_NEWNS) != 0) {
        return false;
    }
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", "/run", "tmpfs", 0, nullptr) == 0;
}

// logind publishes each seat's active session as a small file below /run/systemd/seats, and the
// library reads it from there. A child with a private mount namespace and a fresh /run shows it
// the seat file of the row (or none), which leaves the real machine's seats alone.
TEST(ConsoleUserTest, ActiveSessionOnTheConsoleSeatComesBeforeTheGuesses) {
    const struct {
        const char* name;
        std::optional<std::string> seatFile;
        std::string expected;
    } cases[] = {
        {"active session on seat0", "ACTIVE=c1\nACTIVE_UID=65534\n", "nobody"},
        {"no seat0 at all (container, CI)", std::nullopt, "alice"},
        {"seat0 with nobody logged in", "IS_SEAT0=1\nCAN_GRAPHICAL=1\n", "alice"},
        {"active uid without an account", "ACTIVE=c1\nACTIVE_UID=3999999\n", "alice"},
        {"active uid that is no number", "ACTIVE=c1\nACTIVE_UID=nobody\n", "alice"},
    };
    // The sudo caller stands for the whole fallback chain: it is its first step.
    const ScopedEnv env{{"SUDO_USER", "alice"}, {"PKEXEC_UID", std::nullopt}};
    for (const auto& row : cases) {
        const test_support::ChildRun run = runInChild([&row](int out) {
            if (!enterPrivateRun()) {
                return kSkipExitCode;
            }
            std::error_code error;
            std::filesystem::create_directories("/run/systemd/seats", error);
            if (error || (row.seatFile && !writeFile("/run/systemd/seats/seat0", *row.seatFile))) {
                return kSetupFailedExitCode;
            }
            const std::optional<std::wstring> name = platform::consoleUserName();
            if (!name) {
                return 1;
            }
            const std::string answer = std::filesystem::path(*name).string();
            return write(out, answer.data(), answer.size()) == static_cast<ssize_t>(answer.size())
                       ? 0
                       : 2;
        });
        if (run.exitCode() == kSkipExitCode) {
            GTEST_SKIP() << "needs a private mount namespace";
        }
        EXPECT_EQ(run.exitCode(), 0) << row.name;
        EXPECT_EQ(run.output, row.expected) << row.name;
    }
}

}  // namespace

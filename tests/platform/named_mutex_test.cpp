#include "platform/named_mutex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using test_support::runInChild;
using test_support::ScopedEnv;
using test_support::TempFolder;

constexpr wchar_t kName[] = L"TestMutex";
constexpr wchar_t kFallback[] = L"named-mutex-test";

// Points the runtime folder at a private temporary folder for the test and restores it after.
class NamedMutexTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()) << "no temporary folder"; }

    static std::optional<platform::NamedMutex> acquire() {
        return platform::NamedMutex::tryAcquire(kName, kFallback);
    }

    // Whether a separate process can take the mutex right now.
    static bool otherProcessCanAcquire() {
        return runInChild([](int) { return acquire() ? 0 : 1; }).exitCode() == 0;
    }

    TempFolder folder_;
    ScopedEnv env_{{"XDG_RUNTIME_DIR", folder_.path()}, {"TMPDIR", folder_.path()}};
};

TEST_F(NamedMutexTest, HeldByOneProcessUntilReleased) {
    std::optional<platform::NamedMutex> held = acquire();
    ASSERT_TRUE(held);
    EXPECT_FALSE(otherProcessCanAcquire());

    // A moved-from mutex releases nothing; the new owner still holds it.
    std::optional<platform::NamedMutex> movedTo(std::move(*held));
    held.reset();
    EXPECT_FALSE(otherProcessCanAcquire());

    movedTo.reset();
    EXPECT_TRUE(otherProcessCanAcquire());
    struct stat info {};
    EXPECT_EQ(stat(folder_.file("TestMutex.lock").c_str(), &info), 0) << "lock file stays";
}

TEST_F(NamedMutexTest, LivesInTheFallbackFolderWithoutAPrivateRuntimeDir) {
    unsetenv("XDG_RUNTIME_DIR");
    std::optional<platform::NamedMutex> held = acquire();
    ASSERT_TRUE(held);
    struct stat info {};
    const std::string lockFile =
        folder_.file("named-mutex-test-" + std::to_string(geteuid()) + "/TestMutex.lock");
    EXPECT_EQ(stat(lockFile.c_str(), &info), 0);
    EXPECT_FALSE(otherProcessCanAcquire());
}

TEST_F(NamedMutexTest, KilledHolderReleasesIt) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        std::optional<platform::NamedMutex> held = acquire();
        const char byte = held ? 'y' : 'n';
        (void)!write(ready[1], &byte, 1);
        for (;;) {
            pause();
        }
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    EXPECT_EQ(byte, 'y');
    EXPECT_FALSE(acquire());

    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(acquire());
}

TEST_F(NamedMutexTest, ProgramsStartedByTheHolderDoNotInheritIt) {
    std::optional<platform::NamedMutex> held = acquire();
    ASSERT_TRUE(held);
    // The started program blocks reading its stdin until we close the other end; the exec pipe
    // reaches end of file once the exec has happened (its write end is close-on-exec).
    int stdinPipe[2];
    int execPipe[2];
    ASSERT_EQ(pipe2(stdinPipe, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(execPipe, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(stdinPipe[0], STDIN_FILENO);
        execl("/bin/cat", "cat", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(stdinPipe[0]);
    close(execPipe[1]);
    char byte = 0;
    EXPECT_EQ(read(execPipe[0], &byte, 1), 0);
    close(execPipe[0]);

    held.reset();
    EXPECT_TRUE(otherProcessCanAcquire()) << "the started program still holds the lock";

    close(stdinPipe[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

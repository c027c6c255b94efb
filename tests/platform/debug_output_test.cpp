#include "platform/debug_output.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_encoding.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

namespace {

using test_support::ChildRun;
using test_support::runInChild;
using test_support::TempFolder;

// The sink is chosen once per process, so every sink test runs in a freshly executed copy of
// this program; the variable tells that copy what to do.
constexpr char kChildModeVariable[] = "BRIVANO_TEST_DEBUG_OUTPUT_CHILD";
constexpr int kFloodTexts = 10000;
// The flood must finish long before this; a sink that blocks is killed by it.
constexpr unsigned kChildDeadlineSec = 10;

const std::wstring kTexts[] = {L"first line\r\n", L"zweite Zeile \u2013 gr\u00FC\u00DFe\n",
                               L"\u4E2D\u6587 without line end"};

std::string allTextsUtf8() {
    std::string all;
    for (const std::wstring& text : kTexts) {
        all += platform::utf8FromWide(text);
    }
    return all;
}

// Puts this process into its own mount namespace with an empty /dev, so that /dev/log is ours to
// create (or to leave missing) without touching the machine's logger.
bool privateDev() {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755") == 0;
}

void checkSyslogDatagrams() {
    // Nobody listening: the texts vanish, nothing fails.
    for (const std::wstring& text : kTexts) {
        platform::outputDebugString(text);
    }

    const int listener = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/dev/log");
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);

    platform::outputDebugString(L"h\u00E9llo w\u00F6rld\r\n");
    char buffer[4096];
    const ssize_t got = recv(listener, buffer, sizeof(buffer), MSG_DONTWAIT);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)),
              "<15>" + std::string(program_invocation_short_name) + "[" + std::to_string(getpid()) +
                  "]: h\xC3\xA9llo w\xC3\xB6rld");

    // A listener that does not read: its queue fills, the rest is dropped, nothing waits.
    for (int i = 0; i < kFloodTexts; ++i) {
        platform::outputDebugString(L"flood\n");
    }
    int received = 0;
    while (recv(listener, buffer, sizeof(buffer), MSG_DONTWAIT) > 0) {
        ++received;
    }
    EXPECT_GT(received, 0);
    EXPECT_LT(received, kFloodTexts);
    close(listener);
}

// Runs only in the copies started below.
TEST(DebugOutputChild, WritesThroughTheSink) {
    const char* mode = getenv(kChildModeVariable);
    if (mode == nullptr) {
        GTEST_SKIP() << "runs only as the child of the DebugOutputSink tests";
    }
    alarm(kChildDeadlineSec);
    if (std::strcmp(mode, "syslog") == 0) {
        if (!privateDev()) {
            GTEST_SKIP() << "no private mount namespace: " << std::strerror(errno);
        }
        checkSyslogDatagrams();
        return;
    }
    for (const std::wstring& text : kTexts) {
        platform::outputDebugString(text);
    }
}

struct SinkRun {
    int status = -1;
    std::string out;
    std::string err;
};

SinkRun runChild(const char* mode, const char* sinkSetting, const TempFolder& folder) {
    const std::string errPath = folder.file("stderr");
    const ChildRun child = runInChild([&](int stdoutPipe) {
        setenv(kChildModeVariable, mode, 1);
        if (sinkSetting != nullptr) {
            setenv("BRIVANO_DEBUG_LOG", sinkSetting, 1);
        } else {
            unsetenv("BRIVANO_DEBUG_LOG");
        }
        dup2(stdoutPipe, STDOUT_FILENO);
        dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        execl("/proc/self/exe", "platform_tests", "--gtest_filter=DebugOutputChild.*",
              static_cast<char*>(nullptr));
        return 127;
    });
    return {child.status, child.output, folder.read("stderr")};
}

class DebugOutputSink : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()) << "no temporary folder"; }
    TempFolder folder_;
};

TEST_F(DebugOutputSink, StderrAndFileGetTheTextsAsGiven) {
    const std::string logFile = folder_.file("debug.log");
    const std::string earlier = "from an earlier run\n";
    std::ofstream(logFile, std::ios::binary) << earlier;
    struct Case {
        const char* setting;
        std::string expectedStderr;
        std::string expectedFile;
    };
    const Case cases[] = {
        {"stderr", allTextsUtf8(), earlier},
        {logFile.c_str(), "", earlier + allTextsUtf8()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        const SinkRun run = runChild("texts", c.setting, folder_);
        ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.out;
        EXPECT_EQ(run.err, c.expectedStderr);
        EXPECT_EQ(folder_.read("debug.log"), c.expectedFile);
    }
}

TEST_F(DebugOutputSink, SyslogGetsOneDatagramPerTextAndNeverBlocks) {
    const SinkRun run = runChild("syslog", nullptr, folder_);
    if (run.out.find("[  SKIPPED ]") != std::string::npos) {
        GTEST_SKIP() << "the child could not get a private /dev";
    }
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
}

TEST(DebugOutputCapture, TakesEveryTextOfEveryThreadAsGiven) {
    constexpr int kThreads = 4;
    constexpr int kTextsPerThread = 250;
    platform::DebugOutputCapture capture;
    platform::outputDebugString(L"line end kept\r\n");
    std::vector<std::jthread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kTextsPerThread; ++i) {
                platform::outputDebugString(std::to_wstring(t) + L":" + std::to_wstring(i));
            }
        });
    }
    writers.clear();

    const std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u + kThreads * kTextsPerThread);
    EXPECT_EQ(lines[0], L"line end kept\r\n");
    std::vector<int> next(kThreads, 0);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int thread = std::stoi(lines[i]);
        EXPECT_EQ(lines[i], std::to_wstring(thread) + L":" + std::to_wstring(next[thread]++));
    }
}

}  // namespace

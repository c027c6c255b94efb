#include "utils/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/threads.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kJoinedThreadId = 0xFFFFFFFF;

std::wstring tidField(std::uint32_t tid) {
    wchar_t field[32];
    std::swprintf(field, std::size(field), L"<T%05u>", tid);
    return field;
}

std::string threadComm() {
    std::string comm;
    std::getline(std::ifstream("/proc/thread-self/comm"), comm);
    return comm;
}

TEST(Thread, RunsTheEntryOnceOnlyAfterResume) {
    const platform::DebugOutputCapture capture;
    struct Work {
        std::atomic<int> runs{0};
        std::atomic<std::uint32_t> tid{0};
    } work;
    Utils::Thread thread(&work, L"ABDEF", [](void* parameter) {
        auto* w = static_cast<Work*>(parameter);
        w->tid = platform::currentThreadId();
        ++w->runs;
    });
    const std::uint32_t id = thread.id();
    EXPECT_NE(id, kJoinedThreadId);

    // Suspended means suspended: give a wrongly started entry time to show itself.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(work.runs, 0);
    EXPECT_TRUE(capture.lines().empty());

    EXPECT_TRUE(thread.Resume());
    EXPECT_FALSE(thread.Resume());
    thread.Join();
    EXPECT_EQ(work.runs, 1);
    EXPECT_EQ(work.tid, id);
    EXPECT_EQ(thread.id(), kJoinedThreadId);
    EXPECT_FALSE(thread.Resume());

    const std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    const std::wstring function = L"(Utils::Thread::CallBack)";
    for (const std::wstring& line : lines) {
        EXPECT_NE(line.find(tidField(id)), std::wstring::npos) << line;
        EXPECT_NE(line.find(function), std::wstring::npos) << line;
    }
    EXPECT_TRUE(lines[0].ends_with(L": THREAD BEGIN\r\n")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with(L": THREAD END\r\n")) << lines[1];
}

TEST(Thread, NeverResumedIsLetGoAtOnceWithoutRunningTheEntry) {
    const platform::DebugOutputCapture capture;
    std::atomic<int> runs{0};
    const auto entry = [](void* parameter) { ++*static_cast<std::atomic<int>*>(parameter); };
    const auto started = std::chrono::steady_clock::now();
    { const Utils::Thread destroyed(&runs, L"ABDEF", entry); }
    {
        Utils::Thread joined(&runs, L"ABDEF", entry);
        joined.Join();
        EXPECT_EQ(joined.id(), kJoinedThreadId);
        EXPECT_FALSE(joined.Resume());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Thread, EntryMayDestroyItsOwnThreadObject) {
    const platform::DebugOutputCapture capture;
    struct Owner {
        std::unique_ptr<Utils::Thread> thread;
        std::promise<std::uint32_t> destroyed;
    } owner;
    owner.thread = std::make_unique<Utils::Thread>(&owner, L"ABDEF", [](void* parameter) {
        auto* o = static_cast<Owner*>(parameter);
        o->thread.reset();  // joins from inside: must detach instead of waiting for itself
        o->destroyed.set_value(platform::currentThreadId());
    });
    std::future<std::uint32_t> destroyed = owner.destroyed.get_future();
    ASSERT_TRUE(owner.thread->Resume());
    ASSERT_EQ(destroyed.wait_for(10s), std::future_status::ready);
    const std::uint32_t tid = destroyed.get();

    // The detached thread still writes "THREAD END"; wait until the kernel has let it go.
    const std::filesystem::path task = "/proc/self/task/" + std::to_string(tid);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::filesystem::exists(task) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_FALSE(std::filesystem::exists(task));
    const std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[1].ends_with(L": THREAD END\r\n")) << lines[1];
    EXPECT_NE(lines[1].find(tidField(tid)), std::wstring::npos) << lines[1];
}

TEST(Thread, IsNamedForDebuggers) {
    struct Case {
        const char* name;
        std::wstring threadName;
        std::string expected;  // empty: "t" followed by the thread id
    };
    const Case cases[] = {
        {"as given", L"ABDEF", "ABDEF"},
        {"empty name gives t and the id", L"", ""},
        {"long name cut to 15 bytes", L"UnInstallerWorkerThread", "UnInstallerWork"},
    };
    for (const Case& c : cases) {
        std::string comm;
        Utils::Thread thread(&comm, c.threadName, [](void* parameter) {
            *static_cast<std::string*>(parameter) = threadComm();
        });
        const std::string expected =
            c.expected.empty() ? "t" + std::to_string(thread.id()) : c.expected;
        ASSERT_TRUE(thread.Resume());
        thread.Join();
        EXPECT_EQ(comm, expected) << c.name;
    }
}

TEST(Thread, ManyThreadsRunAndEndIndependently) {
    constexpr int kThreads = 16;
    std::atomic<int> runs{0};
    std::vector<std::unique_ptr<Utils::Thread>> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.push_back(std::make_unique<Utils::Thread>(
            &runs, L"", [](void* parameter) { ++*static_cast<std::atomic<int>*>(parameter); }));
    }
    // Every other thread runs; the rest are let go unstarted when the vector goes.
    for (int i = 0; i < kThreads; i += 2) {
        EXPECT_TRUE(threads[i]->Resume());
    }
    threads.clear();
    EXPECT_EQ(runs, kThreads / 2);
}

}  // namespace

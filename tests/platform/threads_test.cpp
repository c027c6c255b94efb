#include "platform/threads.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <string>
#include <thread>

namespace {

std::string threadComm(std::uint32_t tid) {
    std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/comm");
    std::string name;
    std::getline(file, name);
    return name;
}

TEST(ThreadIds, AreTheKernelsProcessAndThreadIds) {
    EXPECT_EQ(platform::currentProcessId(), static_cast<std::uint32_t>(getpid()));
    std::uint32_t workerTid = 0;
    std::thread worker([&] { workerTid = platform::currentThreadId(); });
    worker.join();
    EXPECT_NE(workerTid, platform::currentProcessId());
    EXPECT_NE(workerTid, platform::currentThreadId());
    std::uint32_t selfTid = platform::currentThreadId();
    struct stat info {};
    EXPECT_EQ(stat(("/proc/self/task/" + std::to_string(selfTid)).c_str(), &info), 0);
}

TEST(SetThreadName, CutsToFifteenBytesOnACharacterBoundary) {
    struct Case {
        const char* label;
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"short", "worker", "worker"},
        {"exactly 15", "abcdefghijklmno", "abcdefghijklmno"},
        {"16 ASCII", "abcdefghijklmnop", "abcdefghijklmno"},
        {"2-byte char across the cut", "abcdefghijklmn\xC3\xA9", "abcdefghijklmn"},
        {"2-byte char ends at 15", "abcdefghijklm\xC3\xA9x", "abcdefghijklm\xC3\xA9"},
        {"3-byte char across the cut", "abcdefghijklm\xE4\xB8\xAD", "abcdefghijklm"},
        {"4-byte char across the cut", "abcdefghijkl\xF0\x9F\x98\x80", "abcdefghijkl"},
        {"all 3-byte chars",
         "\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD",
         "\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD"},
    };
    // Named from this thread, as the worker-thread class names the threads it starts.
    std::promise<std::uint32_t> tidPromise;
    std::promise<void> done;
    std::thread named([&] {
        tidPromise.set_value(platform::currentThreadId());
        done.get_future().wait();
    });
    const std::uint32_t tid = tidPromise.get_future().get();
    for (const Case& c : cases) {
        platform::setThreadName(named.native_handle(), c.name);
        EXPECT_EQ(threadComm(tid), c.expected) << c.label;
    }
    done.set_value();
    named.join();
}

}  // namespace

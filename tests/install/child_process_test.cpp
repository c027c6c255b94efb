#include "install/child_process.h"

#include <gtest/gtest.h>

#include <string>

#include "install/package_fixtures.h"
#include "utils/exception.h"

namespace {

using test_support::packageFixture;

std::wstring quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// Everything the child wrote, and the largest piece it came in.
struct Output {
    std::string bytes;
    std::size_t largestChunk = 0;
};

Output follow(ChildProcess& child) {
    Output output;
    child.FollowOutput([&](std::string_view chunk) {
        output.bytes += chunk;
        output.largestChunk = std::max(output.largestChunk, chunk.size());
    });
    return output;
}

TEST(ChildProcess, HandsOnAllOutputInReadSizedChunks) {
    ChildProcess child;
    child.Launch(quoted(packageFixture("chatty_after_state.sh")));
    const Output output = follow(child);
    EXPECT_EQ(output.bytes, "State=Success\n" + std::string(262144, 'x') + "\nState=Fail\n");
    EXPECT_EQ(output.largestChunk, ChildProcess::kReadBytes);
}

TEST(ChildProcess, RefusesACommandLineThatDoesNotFitTheBuffer) {
    const std::wstring program = quoted(packageFixture("silent.sh")) + L" ";
    const std::wstring fits =
        program + std::wstring(ChildProcess::kCommandLineUnits - 1 - program.size(), L'a');
    ChildProcess started;
    EXPECT_NO_THROW(started.Launch(fits));
    follow(started);

    ChildProcess refused;
    try {
        refused.Launch(fits + L"a");
        ADD_FAILURE() << "a command line of 1024 units was started";
    } catch (const Utils::Exception& error) {
        EXPECT_STREQ(error.what(), "Unknown exception");  // thrown with an empty message
    }
    // Units, not characters: one character outside the basic plane takes two.
    EXPECT_THROW(refused.Launch(fits.substr(0, fits.size() - 1) + L"\U0001F600"), Utils::Exception);
}

TEST(ChildProcess, ThrowsForAProgramThatCannotBeStarted) {
    ChildProcess child;
    EXPECT_THROW(child.Launch(L"\"/nonexistent/package.exe\" /S"), Utils::Exception);
    // Nothing was started, so there is nothing to follow.
    EXPECT_TRUE(follow(child).bytes.empty());
}

}  // namespace

#include "utils/checksum.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"

namespace {

TEST(GetUrlMd5, TakesTheNameOfTheFolderHoldingTheFile) {
    struct Case {
        const char* name;
        std::string url;
        std::string expected;
    };
    const Case cases[] = {
        {"checksum folder", "http://127.0.0.1:18327/pkg/0123456789abcdef0123456789abcdef/setup.exe",
         "0123456789abcdef0123456789abcdef"},
        {"empty url", "", ""},
        {"no slash", "setup.exe", ""},
        {"single slash", "a/b", ""},
        {"leading slash only", "/setup.exe", ""},
        {"ends in a slash", "a/b/", "b"},
        {"two slashes in a row", "a//b", ""},
        {"slash at the start of two", "/x/y", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::GetUrlMd5(c.url), c.expected) << c.name;
    }
}

class GetFileMd5Test : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()) << "no temporary folder"; }

    // Bytes that differ from block to block, so a block read twice or skipped changes the digest.
    static std::string pattern(std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>((i * 7 + 3) % 256);
        }
        return bytes;
    }

    test_support::TempFolder folder_;
};

TEST_F(GetFileMd5Test, MatchesKnownDigests) {
    struct Case {
        const char* name;
        std::string content;
        std::string expected;  // from md5sum
    };
    const Case cases[] = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"exactly one block", pattern(1024), "a66351d9c8f941b70a02eaf9c41e69c3"},
        {"blocks and a tail", pattern(2500), "1974f999ecd3884a25480a1b54c24120"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::GetFileMd5(folder_.write(c.name, c.content)), c.expected) << c.name;
    }
}

TEST_F(GetFileMd5Test, UnreadablePathsGiveEmpty) {
    EXPECT_EQ(Utils::GetFileMd5(folder_.file("missing")), "");
    // A directory opens for reading on Linux; only the read fails.
    EXPECT_EQ(Utils::GetFileMd5(folder_.path().string()), "");
    EXPECT_EQ(Utils::GetFileMd5(""), "");
}

}  // namespace

#include "utils/exception.h"

#include <gtest/gtest.h>

namespace {

TEST(Exception, DescribesItselfByItsMessage) {
    try {
        throw Utils::Exception(L"CreatePipe failed");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "CreatePipe failed");
    }
}

TEST(Exception, WithoutMessageIsUnknown) {
    EXPECT_STREQ(Utils::Exception().what(), "Unknown exception");
    EXPECT_STREQ(Utils::Exception(L"").what(), "Unknown exception");
}

}  // namespace

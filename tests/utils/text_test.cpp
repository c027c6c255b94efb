#include "utils/text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text_encoding.h"

namespace {

using namespace std::string_literals;

TEST(Trim, RemovesTheSixBlanksOnTheirSide) {
    struct Case {
        const char* name;
        std::wstring text;
        std::wstring left;
        std::wstring right;
        std::wstring both;
    };
    const Case cases[] = {
        {"all six blanks around", L" \t\n\v\f\rab c \t\n\v\f\r", L"ab c \t\n\v\f\r",
         L" \t\n\v\f\rab c", L"ab c"},
        {"all blank", L" \t\r\n", L"", L"", L""},
        {"empty", L"", L"", L"", L""},
        {"nothing to trim", L"a", L"a", L"a", L"a"},
        {"no-break space is not a blank", L"\u00a0a\u00a0", L"\u00a0a\u00a0", L"\u00a0a\u00a0",
         L"\u00a0a\u00a0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::TrimLeft(c.text), c.left) << c.name;
        EXPECT_EQ(Utils::TrimRight(c.text), c.right) << c.name;
        EXPECT_EQ(Utils::Trim(c.text), c.both) << c.name;
    }
}

TEST(ReplaceAll, ReplacesUntilNoneIsLeft) {
    struct Case {
        const char* name;
        std::wstring text;
        std::wstring searched;
        std::wstring replacement;
        std::wstring expected;
    };
    const Case cases[] = {
        {"route placeholder", L"http://h/${ROUTE}/x", L"${ROUTE}", L"download_silent",
         L"http://h/download_silent/x"},
        {"several", L"a-b-c-d", L"-", L"+", L"a+b+c+d"},
        {"adjacent", L"----", L"--", L"=", L"=="},
        {"removal", L"a b c", L" ", L"", L"abc"},
        {"a replacement that completes a new match is replaced again", L"aaab", L"ab", L"b", L"b"},
        {"not found", L"abc", L"x", L"y", L"abc"},
        {"empty searched text changes nothing", L"abc", L"", L"x", L"abc"},
        {"empty text", L"", L"a", L"b", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::ReplaceAll(c.text, c.searched, c.replacement), c.expected) << c.name;
    }
}

TEST(UrlEncode, KeepsPrintableBytesAndEncodesTheRest) {
    std::string printable;
    for (int byte = 33; byte <= 126; ++byte) {
        printable += static_cast<char>(byte);
    }
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"bytes 33 to 126", printable, printable},
        {"space", "a b", "a+b"},
        {"chinese character as upper-case hex", "\xe4\xb8\xad", "%E4%B8%AD"},
        {"delete", "\x7f", "%7F"},
        {"control bytes", "\t\r\n", "%09%0D%0A"},
        {"zero byte", "a\0b"s, "a%00b"},
        {"high bytes", "\x80\xff", "%80%FF"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::UrlEncode(c.bytes), c.expected) << c.name;
    }
}

TEST(UrlEncodeW, EncodesTheUtf8BytesOfTheUrl) {
    EXPECT_EQ(Utils::UrlEncodeW(L"http://127.0.0.1/a b/中.exe?x=1&y=%"),
              L"http://127.0.0.1/a+b/%E4%B8%AD.exe?x=1&y=%");
}

TEST(ToWide, DecodesUpToTheFirstZero) {
    struct Case {
        const char* name;
        std::string bytes;
        unsigned codePage;
        std::wstring expected;
    };
    const Case cases[] = {
        {"utf-8", "a\xe4\xb8\xad", platform::kCodePageUtf8, L"a中"},
        {"embedded zero ends the text", "ab\0cd"s, platform::kCodePageUtf8, L"ab"},
        {"invalid utf-8 becomes U+FFFD",
         "a\xff"
         "b",
         platform::kCodePageUtf8, L"a\ufffdb"},
        {"cut-off sequence becomes U+FFFD", "a\xe4\xb8", platform::kCodePageUtf8, L"a\ufffd"},
        {"gbk", "\xd6\xd0", 936, L"中"},
        {"unknown code page", "abc", 12345, L""},
        {"empty", "", platform::kCodePageUtf8, L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::ToWide(c.bytes, c.codePage), c.expected) << c.name;
    }
}

TEST(ToNarrow, EncodesUpToTheFirstZero) {
    struct Case {
        const char* name;
        std::wstring text;
        unsigned codePage;
        std::string expected;
    };
    const Case cases[] = {
        {"utf-8", L"a中", platform::kCodePageUtf8, "a\xe4\xb8\xad"},
        {"embedded zero ends the text", L"ab\0cd"s, platform::kCodePageUtf8, "ab"},
        {"gbk", L"中", 936, "\xd6\xd0"},
        {"unknown code page", L"abc", 12345, ""},
        {"empty", L"", platform::kCodePageUtf8, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utils::ToNarrow(c.text, c.codePage), c.expected) << c.name;
    }
}

TEST(UIntToWString, PlainDecimal) {
    EXPECT_EQ(Utils::UIntToWString(0), L"0");
    EXPECT_EQ(Utils::UIntToWString(42), L"42");
    EXPECT_EQ(Utils::UIntToWString(4294967295u), L"4294967295");
}

}  // namespace

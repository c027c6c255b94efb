#include "platform/text_encoding.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace platform {
namespace {

constexpr unsigned kUnknownCodePage = 12345;

TEST(TextEncoding, DecodesAndReplacesEveryInvalidSequence) {
    struct Case {
        const char* name;
        std::string bytes;
        unsigned codePage;
        std::wstring expected;
    };
    const Case cases[] = {
        {"utf8 all lengths", "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", 65001,
         L"a\u00E9\u4E2D\U0001F600"},
        {"utf8 bad lead byte", "a\xFF-", 65001, L"a\uFFFD-"},
        {"utf8 cut off at end", "a\xE4\xB8", 65001, L"a\uFFFD"},
        {"utf8 cut off before ascii", "\xE4\xB8-", 65001, L"\uFFFD-"},
        {"utf8 stray trail bytes", "\x80\xBF", 65001, L"\uFFFD\uFFFD"},
        {"utf8 overlong", "\xC0\xAF", 65001, L"\uFFFD\uFFFD"},
        {"utf8 encoded surrogate", "\xED\xA0\x80", 65001, L"\uFFFD\uFFFD\uFFFD"},
        {"utf8 beyond U+10FFFF", "\xF4\x90\x80\x80", 65001, L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"utf8 bom is text", "\xEF\xBB\xBFx", 65001, L"\uFEFFx"},
        {"gbk", "\xD6\xD0\xCE\xC4", 936, L"\u4E2D\u6587"},
        {"gbk bad byte then ascii", "\xFF-", 936, L"\uFFFD-"},
        {"gbk cut off pair", "\xD6\xD0\xCE", 936, L"\u4E2D\uFFFD"},
        {"cp932 keeps backslash", "C:\\x\x93\xFA", 932, L"C:\\x\u65E5"},
        {"windows-1252 euro", "\x80", 1252, L"\u20AC"},
        {"utf16le pair", std::string("A\0\x3D\xD8\x00\xDE", 6), 1200, L"A\U0001F600"},
        {"utf16le lone high surrogate", std::string("\x3D\xD8-\0", 4), 1200, L"\uFFFD-"},
        {"utf16le lone low surrogate", std::string("\x00\xDE", 2), 1200, L"\uFFFD"},
        {"utf16le odd byte", std::string("A\0B", 3), 1200, L"A\uFFFD"},
        {"utf16be", std::string("\0A\xD8\x3D\xDE\x00", 6), 1201, L"A\U0001F600"},
        {"unknown code page", "abc", kUnknownCodePage, L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeText(c.bytes, c.codePage), c.expected) << c.name;
    }
}

TEST(TextEncoding, EncodesAndReplacesWhatTheCharsetLacks) {
    struct Case {
        const char* name;
        std::wstring text;
        unsigned codePage;
        std::string expected;
    };
    const Case cases[] = {
        {"utf8 all lengths", L"a\u00E9\u4E2D\U0001F600", 65001,
         "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        {"utf8 surrogate code point", std::wstring(1, wchar_t(0xD800)), 65001, "\xEF\xBF\xBD"},
        {"utf8 beyond U+10FFFF", std::wstring(1, wchar_t(0x110000)), 65001, "\xEF\xBF\xBD"},
        {"gbk", L"\u4E2D\u6587", 936, "\xD6\xD0\xCE\xC4"},
        {"gbk lacks thai", L"a\u0E01b", 936, "a?b"},
        {"windows-1252 lacks snowman", L"\u00E9\u2603", 1252, "\xE9?"},
        {"ascii lacks e-acute", L"a\u00E9", 20127, "a?"},
        {"iconv target refuses surrogate", std::wstring(1, wchar_t(0xDC00)), 1252, "?"},
        {"utf16le pair", L"A\U0001F600", 1200, std::string("A\0\x3D\xD8\x00\xDE", 6)},
        {"utf16le surrogate code point", std::wstring(1, wchar_t(0xDC00)), 1200, "\xFD\xFF"},
        {"utf16be", L"A", 1201, std::string("\0A", 2)},
        {"unknown code page", L"abc", kUnknownCodePage, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encodeText(c.text, c.codePage), c.expected) << c.name;
    }
}

// Every code page of the table reaches a converter this system has.
TEST(TextEncoding, EveryTableCodePageRoundTrips) {
    struct Case {
        unsigned codePage;
        std::wstring text;
    };
    const Case cases[] = {
        {65001, L"\u4E2D\U0001F600"},
        {936, L"\u4E2D\u6587"},
        {54936, L"\u4E2D\U0001F600"},
        {950, L"\u4E2D\u6587"},
        {932, L"\u65E5\u672C\\"},
        {949, L"\uD55C\uAD6D\uC5B4"},
        {1200, L"\U0001F600"},
        {1201, L"\U0001F600"},
        {1250, L"\u0160"},
        {1251, L"\u0416"},
        {1252, L"\u00E9\u20AC"},
        {1253, L"\u03A9"},
        {1254, L"\u011E"},
        {1255, L"\u05D0"},
        {1256, L"\u0639"},
        {1257, L"\u0160"},
        {1258, L"\u20AB"},
        {20127, L"plain"},
        {28591, L"\u00E9"},
        {437, L"\u00E9\u2591"},
        {866, L"\u0416"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(charsetForCodePage(c.codePage).empty()) << c.codePage;
        const std::string bytes = encodeText(c.text, c.codePage);
        EXPECT_EQ(bytes.find('?'), std::string::npos) << c.codePage;
        EXPECT_EQ(decodeText(bytes, c.codePage), c.text) << c.codePage;
    }
}

TEST(TextEncoding, Utf16LengthAndPrefixCountSurrogatePairsAsTwo) {
    const std::wstring text = L"a\U0001F600b";
    EXPECT_EQ(utf16Length(text), 4u);
    struct Case {
        std::size_t units;
        std::wstring expected;
    };
    const Case cases[] = {{0, L""}, {1, L"a"}, {2, L"a"}, {3, L"a\U0001F600"}, {99, text}};
    for (const Case& c : cases) {
        EXPECT_EQ(utf16Prefix(text, c.units), c.expected) << c.units;
    }
}

TEST(TextEncoding, EqualsNoCaseFoldsBeyondAsciiInTheCLocale) {
    struct Case {
        std::wstring a;
        std::wstring b;
        bool equal;
    };
    const Case cases[] = {
        {L"Set.ini", L"SET.INI", true}, {L"\u00C4\u00D6\u00DC", L"\u00E4\u00F6\u00FC", true},
        {L"\u0416", L"\u0436", true},   {L"a", L"b", false},
        {L"abc", L"ab", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(equalsNoCase(c.a, c.b), c.equal);
    }
}

TEST(TextEncoding, LocaleCharsetIsUtf8ForCPosixAndMissingLocales) {
    for (const char* name : {"", "C", "POSIX", "C.UTF-8", "xx_YY.NOT-INSTALLED"}) {
        EXPECT_EQ(charsetForLocaleName(name), "UTF-8") << name;
    }
    EXPECT_EQ(charsetForCodePage(kCodePageAnsi), ansiCharset());
}

TEST(TextEncoding, LocaleNameComesFromLcAllThenLcCtypeThenLang) {
    struct Case {
        std::optional<std::string> lcAll;
        std::optional<std::string> lcCtype;
        std::optional<std::string> lang;
        std::string expected;
    };
    const Case cases[] = {
        {"a_A", "b_B", "c_C", "a_A"},
        {"", "b_B", "c_C", "b_B"},
        {std::nullopt, "", "c_C", "c_C"},
        {std::nullopt, std::nullopt, "", ""},
        {std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const test_support::ScopedEnv env{
            {"LC_ALL", c.lcAll}, {"LC_CTYPE", c.lcCtype}, {"LANG", c.lang}};
        EXPECT_EQ(ansiLocaleName(), c.expected);
    }
    EXPECT_EQ(ansiCharset(), charsetForLocaleName(ansiLocaleName()));
}

// A non-UTF-8 locale, compiled into a private locale folder (only C.UTF-8 is installed here).
TEST(TextEncoding, LocaleCharsetOfAnInstalledLegacyLocale) {
    const test_support::TempFolder folder;
    const std::string command =
        "localedef -i zh_CN -f GBK " + folder.file("zh_CN.GBK") + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        GTEST_SKIP() << "localedef cannot build zh_CN.GBK here";
    }
    // glibc's newlocale leaks its copy of LOCPATH, so the lookup runs in a child that ends
    // without the leak check.
    const test_support::ChildRun run = test_support::runInChild([&](int) {
        setenv("LOCPATH", folder.path().c_str(), 1);
        return charsetForLocaleName("zh_CN.GBK") == "GBK" ? 0 : 1;
    });
    EXPECT_EQ(run.exitCode(), 0) << "zh_CN.GBK did not give the charset GBK";
}

}  // namespace
}  // namespace platform

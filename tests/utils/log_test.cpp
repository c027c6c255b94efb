#include "utils/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <regex>
#include <string>

#include "platform/debug_output.h"

namespace {

std::wstring format(const wchar_t* windowsFormat, ...) {
    va_list args;
    va_start(args, windowsFormat);
    std::wstring text = Utils::formatWindowsWide(windowsFormat, args);
    va_end(args);
    return text;
}

std::wstring expectedPrefix(int line, const wchar_t* function) {
    wchar_t prefix[64];
    std::swprintf(prefix, std::size(prefix), L"<P%05d><T%05d><", static_cast<int>(getpid()),
                  static_cast<int>(gettid()));
    std::wstring text = prefix;
    text += L"\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}>\\(";
    text += function;
    std::swprintf(prefix, std::size(prefix), L"\\)<%04d>: ", line);
    return text + prefix;
}

TEST(DebugLog, WritesThePrefixFieldsExactly) {
    const platform::DebugOutputCapture capture;
    Utils::DebugLog((std::wstring(Utils::kLogPrefixFormat) + L"msg\r\n").c_str(), 7, 123456, 2026,
                    1, 2, 3, 4, 5, 6, L"CurlClient::Start", 42);
    Utils::DebugLog((std::wstring(Utils::kLogPrefixFormat) + L"x\r\n").c_str(), 1234567, 5, 999, 12,
                    31, 23, 59, 59, 999, L"CInstaller::Parse", 12345);
    EXPECT_EQ(
        capture.lines(),
        (std::vector<std::wstring>{
            L"<P00007><T123456><2026-01-02 03:04:05.006>(CurlClient::Start)<0042>: msg\r\n",
            L"<P1234567><T00005><0999-12-31 23:59:59.999>(CInstaller::Parse)<12345>: x\r\n"}));
}

TEST(DebugLog, ATextThatCannotBeBuiltWritesNothing) {
    const platform::DebugOutputCapture capture;
    // A width past INT_MAX is a formatting error (EOVERFLOW), like a failed allocation.
    Utils::DebugLog(L"%2147483648d\r\n", 1);
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Log, PassesArgumentTextVerbatimWithTheRealPrefix) {
    const platform::DebugOutputCapture capture;
    // clang-format off
    const int line = __LINE__; Utils::Log({L"Utils::Thread::CallBack"}, L"error:%d:%s\r\n", 28, std::wstring(L"100% 中文 %s %n"));
    // clang-format on
    const std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::wregex expected(expectedPrefix(line, L"Utils::Thread::CallBack") +
                               L"error:28:100% 中文 %s %n\r\n");
    EXPECT_TRUE(std::regex_match(lines[0], expected)) << lines[0];
}

TEST(Log, CatalogueFormatsGetArgumentsOfTheirWidth) {
    const platform::DebugOutputCapture capture;
    const std::int32_t code = -28;
    const std::int64_t length = 5'000'000'000LL;
    const double percent = 12.5;
    Utils::Log({L"Utils::HardDiskManager::CheckFreeSpace"},
               L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n", code);
    Utils::Log({L"CMTCurlDownloader::getRealDownloadUrl"}, L"Download File Length %lld\r\n",
               length);
    Utils::Log({L"CurlClient::ProgressCallback"}, L" %dM %dM   progress:%f%%  speed:%f \n", 3, 40,
               percent, 1024.25);
    Utils::Log({L"CInstaller::Parse"}, L"ExePath: %s", std::wstring(L"/opt/产品/a b"));
    const std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 4u);
    const std::wstring suffixes[] = {
        L": HardDiskManager::CheckFreeSpace FAIL code=-28\r\n",
        L": Download File Length 5000000000\r\n",
        L":  3M 40M   progress:12.500000%  speed:1024.250000 \n",
        L": ExePath: /opt/产品/a b",
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].ends_with(suffixes[i])) << lines[i];
    }
    // A line that ends in "\n" alone keeps exactly that.
    EXPECT_FALSE(lines[2].ends_with(L"\r\n"));
}

// The sink is chosen once per process, so the line is written by a freshly started copy of this
// test program (the "threadsafe" death-test style re-executes it) that reads the variable first.
TEST(Log, ReachesStandardErrorAsUtf8WhenAskedTo) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("BRIVANO_DEBUG_LOG", "stderr", 1);
            Utils::Log({L"CInstaller::Parse"}, L"ExePath: %s\r\n", std::wstring(L"/opt/产品/a b"));
            std::exit(0);
        },
        testing::ExitedWithCode(0),
        "^<P[0-9]{5,}><T[0-9]{5,}><[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\\.[0-9]{3}>"
        "\\(CInstaller::Parse\\)<[0-9]{4,}>: ExePath: /opt/产品/a b\r\n$");
}

TEST(FormatWindowsWide, TranslatesWindowsConversions) {
    struct Case {
        const char* name;
        std::function<std::wstring()> run;
        std::wstring expected;
    };
    const Case cases[] = {
        {"%s is wide", [] { return format(L"[%s]", L"中文"); }, L"[中文]"},
        {"%ls is wide", [] { return format(L"[%ls]", L"中文"); }, L"[中文]"},
        {"%S and %hs are narrow", [] { return format(L"[%S|%hs]", "ab", "cd"); }, L"[ab|cd]"},
        {"%c is wide", [] { return format(L"[%c]", L'中'); }, L"[中]"},
        {"width and precision on text", [] { return format(L"[%-4s|%3.1s]", L"ab", L"xyz"); },
         L"[ab  |  x]"},
        {"%ld %li %lu %lx %lX take 32 bits",
         [] {
             return format(L"%ld %li %lu %lx %lX", std::int32_t{-1}, std::int32_t{7},
                           std::uint32_t{4000000000u}, std::uint32_t{0xdeadbeef},
                           std::uint32_t{0xbeef});
         },
         L"-1 7 4000000000 deadbeef BEEF"},
        {"%lld takes 64 bits", [] { return format(L"%lld", std::int64_t{-1} << 40); },
         L"-1099511627776"},
        {"%I64d takes 64 bits", [] { return format(L"%I64d", std::int64_t{1} << 40); },
         L"1099511627776"},
        {"flags and width kept", [] { return format(L"%05d|%+d|%-3d|%04x", 42, 7, 1, 255); },
         L"00042|+7|1  |00ff"},
        {"star width", [] { return format(L"[%*d]", 4, 2); }, L"[   2]"},
        {"%f and %%", [] { return format(L"%f%% %.2f", 12.5, 0.125); }, L"12.500000% 0.12"},
        {"no conversions", [] { return format(L"plain text\r\n"); }, L"plain text\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.run(), c.expected) << c.name;
    }
}

}  // namespace

#include "settings/url_routing.h"

#include <gtest/gtest.h>

namespace settings {
namespace {

TEST(UrlRouting, EveryPlaceholderGetsTheRouteOfTheSystem) {
    const std::wstring url = L"http://h/${ROUTE}/pkg?route=${ROUTE}";
    const struct {
        const wchar_t* version;
        bool wow64;
        const wchar_t* expected;
    } cases[] = {
        {L"XP", false, L"http://h/download_silent_xp/pkg?route=download_silent_xp"},
        {L"XP-", true, L"http://h/download_silent_xp/pkg?route=download_silent_xp"},
        {L"XP+", false, L"http://h/download_silent_xp/pkg?route=download_silent_xp"},
        {L"7", false, L"http://h/download_silent/pkg?route=download_silent"},
        // This product has no 64-bit package, so a 64-bit system gets the common route.
        {L"10", true, L"http://h/download_silent/pkg?route=download_silent"},
        {L"Linux", false, L"http://h/download_silent/pkg?route=download_silent"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(routeDownloadUrl(url, c.version, c.wow64), c.expected) << c.version;
    }
    EXPECT_EQ(routeDownloadUrl(L"http://h/${route}/x", L"XP", false), L"http://h/${route}/x");
}

TEST(UrlRouting, ThisSystemRoutesAsLinux) {
    std::wstring name;
    std::wstring version;
    GetWindowsVersionName(name, version);
    EXPECT_EQ(version, L"Linux");
    EXPECT_FALSE(IsWow64());
}

TEST(UrlRouting, WindowsVersionTable) {
    const struct {
        unsigned major, minor, build;
        bool r2;
        const wchar_t* expected;
    } cases[] = {
        {0, 0, 0, false, L"XP-"},         {4, 90, 0, false, L"XP-"},
        {5, 0, 0, false, L"2K"},          {5, 1, 2600, false, L"XP"},
        {5, 2, 0, false, L"Server 2003"}, {5, 2, 0, true, L"Server 2003 R2"},
        {5, 3, 0, false, L"XP+"},         {6, 0, 0, false, L"Vista"},
        {6, 1, 0, false, L"7"},           {6, 2, 0, false, L"8"},
        {6, 3, 0, false, L"8.1"},         {6, 4, 0, false, L"8.1+"},
        {10, 0, 19045, false, L"10"},     {10, 1, 0, false, L"10+"},
        {7, 0, 5, false, L"7.0.5"},       {11, 0, 0x10000 + 22000, false, L"11.0.22000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windowsVersionText(c.major, c.minor, c.build, c.r2), c.expected)
            << c.major << "." << c.minor;
    }
}

TEST(UrlRouting, Wow64ProbeTable) {
    const struct {
        bool available;
        std::optional<bool> answer;
        int architecture;
        bool expected;
    } cases[] = {
        {false, true, 9, false},       {true, true, 0, true},
        {true, false, 9, false},       {true, std::nullopt, 9, true},
        {true, std::nullopt, 6, true}, {true, std::nullopt, 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wow64FromProbe(c.available, c.answer, c.architecture), c.expected);
    }
}

}  // namespace
}  // namespace settings

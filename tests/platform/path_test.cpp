#include "platform/path.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text_encoding.h"
#include "support/temp_folder.h"

namespace platform {
namespace {

TEST(Path, ComposesAndSplitsWithThePlatformSeparator) {
    EXPECT_EQ(toPlatformSeparators(L"C:\\A\\b.ini"), L"C:/A/b.ini");
    EXPECT_EQ(toPlatformSeparators(L"\\__Package_X.exe"), L"/__Package_X.exe");

    struct JoinCase {
        std::wstring folder;
        std::wstring name;
        std::wstring expected;
    };
    const JoinCase joins[] = {
        {L"/a", L"b", L"/a/b"}, {L"/a/", L"b", L"/a/b"},  {L"/a//", L"/b", L"/a/b"},
        {L"/", L"b", L"/b"},    {L"a", L"b/c", L"a/b/c"}, {L"", L"b", L"b"},
    };
    for (const JoinCase& c : joins) {
        EXPECT_EQ(joinPath(c.folder, c.name), c.expected) << c.folder << L" + " << c.name;
    }

    struct SplitCase {
        std::wstring path;
        std::wstring parent;
        std::wstring name;
    };
    const SplitCase splits[] = {
        {L"/a/b.ini", L"/a", L"b.ini"},
        {L"/a", L"/", L"a"},
        {L"a/b", L"a", L"b"},
        {L"b.ini", L"", L"b.ini"},
        {L"/a//b", L"/a", L"b"},
        {L"/", L"/", L""},
        {L"", L"", L""},
    };
    for (const SplitCase& c : splits) {
        EXPECT_EQ(parentFolder(c.path), c.parent) << c.path;
        EXPECT_EQ(fileNameOf(c.path), c.name) << c.path;
    }
}

TEST(Path, NativePathRoundTripsThroughTheAnsiCharset) {
    if (ansiCharset() != "UTF-8") {
        GTEST_SKIP() << "ANSI charset here is " << ansiCharset();
    }
    EXPECT_EQ(nativePath(L"/tmp/\u4E2D\u6587.ini"), "/tmp/\xE4\xB8\xAD\xE6\x96\x87.ini");
    EXPECT_EQ(widePath("/tmp/\xE4\xB8\xAD\xE6\x96\x87.ini"), L"/tmp/\u4E2D\u6587.ini");
}

TEST(Path, ModulePathIsTheRunningTestProgram) {
    const std::wstring path = modulePath();
    EXPECT_TRUE(path.ends_with(L"/platform_tests")) << path;
    EXPECT_TRUE(fileExists(path));
}

// Once the program file is replaced (a self-update) the kernel appends " (deleted)" to
// /proc/self/exe. A copy of this test program deletes itself and reports what it sees.
TEST(Path, ModulePathOfADeletedProgramHasNoSuffix) {
    constexpr const char* kReportVariable = "BRIVANO_PATH_TEST_REPORT";
    if (const char* report = getenv(kReportVariable)) {
        ASSERT_EQ(unlink(nativePath(modulePath()).c_str()), 0);
        std::ofstream(report) << nativePath(modulePath());
        return;
    }
    const test_support::TempFolder folder;
    const std::string copy = folder.file("platform_tests");
    std::filesystem::copy_file(nativePath(modulePath()), copy);
    const std::string command = std::string(kReportVariable) + "=" + folder.file("report") + " " +
                                copy +
                                " --gtest_filter=Path.ModulePathOfADeletedProgramHasNoSuffix"
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(folder.read("report"), copy);
    EXPECT_FALSE(std::filesystem::exists(copy));
}

TEST(Path, FindFileNoCaseReturnsTheSpellingOnDisk) {
    const test_support::TempFolder folder;
    folder.write("Set.ini", "");
    folder.write("\xC3\x84rger.txt", "");  // "Ärger.txt"
    const std::wstring dir = widePath(folder.path().string());

    struct Case {
        std::wstring asked;
        std::wstring found;
    };
    const Case cases[] = {
        {L"set.ini", L"Set.ini"},
        {L"SET.INI", L"Set.ini"},
        {L"\u00E4RGER.TXT", L"\u00C4rger.txt"},
        {L"missing.ini", L"missing.ini"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findFileNoCase(dir, c.asked), dir + L"/" + c.found) << c.asked;
    }
    EXPECT_EQ(findFileNoCase(dir + L"/none", L"set.ini"), dir + L"/none/set.ini");
}

TEST(Path, FileExistsForFilesAndFolders) {
    const test_support::TempFolder folder;
    const std::wstring dir = widePath(folder.path().string());
    folder.write("a.ini", "x");
    EXPECT_TRUE(fileExists(dir + L"/a.ini"));
    EXPECT_TRUE(fileExists(dir));
    EXPECT_FALSE(fileExists(dir + L"/b.ini"));
}

}  // namespace
}  // namespace platform

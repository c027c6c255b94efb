#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <iterator>
#include <string>

#include "platform/path.h"
#include "platform/text_encoding.h"
#include "support/temp_folder.h"

namespace platform {
namespace {

constexpr std::size_t kBufferUnits = 1024;

class IniFile : public ::testing::Test {
protected:
    std::wstring write(const std::string& name, const std::string& bytes) const {
        return widePath(folder_.write(name, bytes));
    }
    std::wstring pathOf(const std::string& name) const { return widePath(folder_.file(name)); }
    std::size_t entryCount() const {
        const std::filesystem::directory_iterator entries(folder_.path());
        return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
    }

    test_support::TempFolder folder_;
};

TEST_F(IniFile, ReadsWithWindowsProfileRules) {
    const std::wstring path = write("settings.ini",
                                    "; comment\n"
                                    "[Settings]\n"
                                    "  Name  =  Value with spaces \t\n"
                                    "Quoted=\"  kept inside  \"\n"
                                    "Single='x'\n"
                                    "Mismatch=\"abc'\n"
                                    "Empty=\n"
                                    "NoEquals line\n"
                                    ";Commented=yes\n"
                                    "Dup=first\n"
                                    "Dup=second\n"
                                    "Long=abcdef\n"
                                    "Emoji=a\xF0\x9F\x98\x80-\n"
                                    "[ Other ] trailing text\n"
                                    "Key=other\n"
                                    "[settings]\n"
                                    "Later=hidden\n");
    struct Case {
        const char* name;
        std::wstring section;
        std::wstring key;
        std::wstring defaultValue;
        std::size_t bufferUnits;
        std::wstring expected;
    };
    const Case cases[] = {
        {"names without case", L"SETTINGS", L"name", L"d", kBufferUnits, L"Value with spaces"},
        {"names trimmed", L" Settings ", L"\tName ", L"d", kBufferUnits, L"Value with spaces"},
        {"double quotes removed once", L"Settings", L"Quoted", L"d", kBufferUnits,
         L"  kept inside  "},
        {"single quotes removed", L"Settings", L"Single", L"d", kBufferUnits, L"x"},
        {"unmatched quotes kept", L"Settings", L"Mismatch", L"d", kBufferUnits, L"\"abc'"},
        {"empty value is not the default", L"Settings", L"Empty", L"d", kBufferUnits, L""},
        {"line without = is no key", L"Settings", L"NoEquals line", L"d", kBufferUnits, L"d"},
        {"comment is no key", L"Settings", L";Commented", L"d", kBufferUnits, L"d"},
        {"first key wins", L"Settings", L"Dup", L"d", kBufferUnits, L"first"},
        {"section name trimmed in brackets", L"Other", L"Key", L"d", kBufferUnits, L"other"},
        {"later same-named section not merged", L"Settings", L"Later", L"d", kBufferUnits, L"d"},
        {"missing section", L"None", L"Key", L"d", kBufferUnits, L"d"},
        {"missing key", L"Other", L"None", L"d", kBufferUnits, L"d"},
        {"default loses trailing blanks", L"Other", L"None", L" d \t", kBufferUnits, L" d"},
        {"value cut to buffer - 1", L"Settings", L"Long", L"d", 4, L"abc"},
        {"buffer 0 gives empty", L"Settings", L"Long", L"d", 0, L""},
        {"cut never splits a pair", L"Settings", L"Emoji", L"d", 3, L"a"},
        {"pair fits", L"Settings", L"Emoji", L"d", 4, L"a\U0001F600"},
        {"default cut to buffer", L"Other", L"None", L"default", 4, L"def"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readIniString(path, c.section, c.key, c.defaultValue, c.bufferUnits), c.expected)
            << c.name;
    }
    EXPECT_EQ(readIniString(pathOf("missing.ini"), L"Settings", L"Name", L"d", kBufferUnits), L"d");
}

TEST_F(IniFile, ReadsUtf8WithBomUtf16leAndCrLf) {
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring expected;
    };
    const Case cases[] = {
        {"utf8 bom before first section", "\xEF\xBB\xBF[S]\nK=v\n", L"v"},
        {"utf8 text", "[S]\nK=\xE4\xB8\xAD\xE6\x96\x87\n", L"\u4E2D\u6587"},
        {"crlf", "[S]\r\nK=v\r\n", L"v"},
        {"no final line end", "[S]\nK=v", L"v"},
        {"utf16le with bom", "\xFF\xFE" + utf16leFromWide(L"[S]\r\nK=\u4E2D\r\n"), L"\u4E2D"},
        {"key before any section", "K=v\n[S]\n", L"d"},
    };
    for (const Case& c : cases) {
        const std::wstring path = write("encoded.ini", c.bytes);
        EXPECT_EQ(readIniString(path, L"S", L"K", L"d", kBufferUnits), c.expected) << c.name;
    }
}

TEST_F(IniFile, ReadsIntegersLikeWindows) {
    const std::wstring path = write("numbers.ini",
                                    "[N]\n"
                                    "dec=42\nneg=-17\nplus=+5\nhex=0x1F\nhexUpper=0X1f\n"
                                    "oct=0o17\nbin=0b101\nlead=\" 12abc\"\nzeroLead=010\n"
                                    "junk=abc\nsign=-\nbarePrefix=0x\nempty=\n"
                                    "wraps=0xFFFFFFFF\nwrapsPastIntMax=2147483648\n"
                                    "tooBig=99999999999\ntooSmall=-99999999999\n");
    struct Case {
        std::wstring key;
        int expected;
    };
    const Case cases[] = {
        {L"dec", 42},         {L"neg", -17},          {L"plus", 5},   {L"hex", 31},
        {L"hexUpper", 31},    {L"oct", 15},           {L"bin", 5},    {L"lead", 12},
        {L"zeroLead", 10},    {L"junk", 0},           {L"sign", 0},   {L"barePrefix", 0},
        {L"empty", 7},        {L"missing", 7},        {L"wraps", -1}, {L"wrapsPastIntMax", INT_MIN},
        {L"tooBig", INT_MAX}, {L"tooSmall", INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readIniInt(path, L"N", c.key, 7), c.expected) << c.key;
    }
}

TEST_F(IniFile, WriteKeepsEveryOtherLine) {
    struct Case {
        const char* name;
        std::string before;
        std::wstring section;
        std::wstring key;
        std::wstring value;
        std::string after;
    };
    const Case cases[] = {
        {"empty file", "", L"A", L"k", L"v", "[A]\nk=v\n"},
        {"new section at the end", "[A]\nx=1\n", L"B", L"k", L"v", "[A]\nx=1\n[B]\nk=v\n"},
        {"new key after the section's last line", "[A]\nx=1\n\n[B]\ny=2\n", L"a", L"k", L"v",
         "[A]\nx=1\nk=v\n\n[B]\ny=2\n"},
        {"update keeps the file's key spelling and other lines",
         "; head\n[A]\n  x = 1 ; c\n\tz=3\n[B]\nx=9\n", L"A", L"X", L"2",
         "; head\n[A]\nx=2\n\tz=3\n[B]\nx=9\n"},
        {"crlf kept", "[A]\r\nx=1\r\n", L"A", L"y", L"2", "[A]\r\nx=1\r\ny=2\r\n"},
        {"missing final line end added", "[A]\nx=1", L"A", L"y", L"2", "[A]\nx=1\ny=2\n"},
        {"new section after missing line end", "[A]\nx=1", L"B", L"y", L"2",
         "[A]\nx=1\n[B]\ny=2\n"},
        {"first of same-named sections", "[A]\nx=1\n[a]\ny=1\n", L"A", L"y", L"2",
         "[A]\nx=1\ny=2\n[a]\ny=1\n"},
        {"bom kept", "\xEF\xBB\xBF[A]\nx=1\n", L"A", L"x", L"2", "\xEF\xBB\xBF[A]\nx=2\n"},
        {"undecodable bytes kept", "[A]\nraw=\xFF\xFE\nx=1\n", L"A", L"x", L"2",
         "[A]\nraw=\xFF\xFE\nx=2\n"},
        {"utf8 value", "[A]\n", L"A", L"k", L"\u4E2D", "[A]\nk=\xE4\xB8\xAD\n"},
        // UTF-16LE files are rewritten as UTF-8, their lines and line ends kept.
        {"utf16le rewritten as utf8", "\xFF\xFE" + utf16leFromWide(L"[A]\r\nx=\u4E2D\r\n"), L"A",
         L"y", L"2", "[A]\r\nx=\xE4\xB8\xAD\r\ny=2\r\n"},
    };
    for (const Case& c : cases) {
        const std::wstring path = write("w.ini", c.before);
        ASSERT_TRUE(writeIniString(path, c.section, c.key, c.value)) << c.name;
        EXPECT_EQ(folder_.read("w.ini"), c.after) << c.name;
        EXPECT_EQ(readIniString(path, c.section, c.key, L"d", kBufferUnits), c.value) << c.name;
    }
    EXPECT_EQ(entryCount(), 1u) << "a temporary file was left behind";
}

TEST_F(IniFile, WriteCreatesTheFileButNotItsFolder) {
    const mode_t mask = umask(0);
    umask(mask);
    ASSERT_TRUE(writeIniString(pathOf("new.ini"), L"S", L"K", L"v"));
    EXPECT_EQ(folder_.read("new.ini"), "[S]\nK=v\n");
    struct stat info {};
    ASSERT_EQ(stat(folder_.file("new.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);

    EXPECT_FALSE(writeIniString(pathOf("none/new.ini"), L"S", L"K", L"v"));
    EXPECT_FALSE(std::filesystem::exists(folder_.path() / "none"));
}

TEST_F(IniFile, WriteKeepsModeAndOwner) {
    const std::wstring path = write("kept.ini", "[S]\nK=1\n");
    const std::string native = folder_.file("kept.ini");
    ASSERT_EQ(chmod(native.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    constexpr uid_t kOtherUid = 4321;
    constexpr gid_t kOtherGid = 4322;
    if (root) {
        ASSERT_EQ(chown(native.c_str(), kOtherUid, kOtherGid), 0);
    }
    ASSERT_TRUE(writeIniString(path, L"S", L"K", L"2"));
    struct stat info {};
    ASSERT_EQ(stat(native.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, kOtherUid);
        EXPECT_EQ(info.st_gid, kOtherGid);
    }
}

TEST_F(IniFile, WriteThroughSymlinkUpdatesTheTarget) {
    write("target.ini", "[S]\nK=1\n");
    std::filesystem::create_symlink(folder_.file("target.ini"), folder_.file("link.ini"));
    ASSERT_TRUE(writeIniString(pathOf("link.ini"), L"S", L"K", L"2"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder_.file("link.ini")));
    EXPECT_EQ(folder_.read("target.ini"), "[S]\nK=2\n");
}

TEST_F(IniFile, WriteRefusesLineBreaksThatWouldAddLines) {
    const std::string before = "[S]\nK=1\n";
    const std::wstring path = write("safe.ini", before);
    EXPECT_FALSE(writeIniString(path, L"S", L"K", L"2\n[Injected]\nX=1"));
    EXPECT_FALSE(writeIniString(path, L"S", L"K\r\nX", L"2"));
    EXPECT_FALSE(writeIniString(path, L"S]\n[T", L"K", L"2"));
    EXPECT_EQ(folder_.read("safe.ini"), before);
}

}  // namespace
}  // namespace platform

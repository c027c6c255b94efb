#include "platform/environment.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/text_encoding.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using test_support::ChildRun;
using test_support::runInChild;
using test_support::ScopedEnv;
using test_support::TempFolder;

constexpr uid_t kOtherUid = 12345;
constexpr char kArgumentsOutVariable[] = "BRIVANO_TEST_ARGUMENTS_OUT";

std::wstring wide(const std::string& native) {
    return platform::widePath(native);
}

std::string passwordHome() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? entry->pw_dir : "";
}

void makeFolder(const std::string& path, mode_t mode, uid_t owner) {
    ASSERT_EQ(mkdir(path.c_str(), mode), 0) << path;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ASSERT_EQ(chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0);
}

TEST(GetEnv, DecodesTheValueOrSaysItIsUnset) {
    ScopedEnv env{{"LC_ALL", std::nullopt},
                  {"BRIVANO_TEST_VALUE", "gr\xC3\xBC\xC3\x9F dich"},
                  {"BRIVANO_TEST_EMPTY", ""},
                  {"BRIVANO_TEST_UNSET", std::nullopt}};
    EXPECT_EQ(platform::getEnv("BRIVANO_TEST_VALUE"),
              platform::decodeText("gr\xC3\xBC\xC3\x9F dich", platform::kCodePageAnsi));
    EXPECT_EQ(platform::getEnv("BRIVANO_TEST_EMPTY"), std::wstring());
    EXPECT_EQ(platform::getEnv("BRIVANO_TEST_UNSET"), std::nullopt);
}

// Runs in a child started by CommandLineArguments.AreTheArgvOfTheProcess: writes what it sees.
TEST(CommandLineArgumentsChild, WritesItsArguments) {
    const char* out = getenv(kArgumentsOutVariable);
    if (out == nullptr) {
        GTEST_SKIP() << "runs only as the child of CommandLineArguments.AreTheArgvOfTheProcess";
    }
    std::ofstream file(out, std::ios::binary);
    for (const std::wstring& argument : platform::commandLineArguments()) {
        file << platform::utf8FromWide(argument) << '\0';
    }
}

TEST(CommandLineArguments, AreTheArgvOfTheProcess) {
    TempFolder dir;
    const std::string out = dir.file("arguments");
    const std::vector<std::string> argv = {"/proc/self/exe",
                                           "--gtest_filter=CommandLineArgumentsChild.*",
                                           "h\xC3\xA9llo w\xC3\xB6rld", "", "a \"quoted\" b"};
    const ChildRun run = runInChild([&](int stdoutPipe) {
        setenv(kArgumentsOutVariable, out.c_str(), 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        dup2(stdoutPipe, STDOUT_FILENO);
        std::vector<char*> pointers;
        for (const std::string& argument : argv) {
            pointers.push_back(const_cast<char*>(argument.c_str()));
        }
        pointers.push_back(nullptr);
        execv("/proc/self/exe", pointers.data());
        return 127;
    });
    ASSERT_EQ(run.exitCode(), 0) << run.status << "\n" << run.output;
    std::string expected;
    for (const std::string& argument : argv) {
        expected += argument + '\0';
    }
    EXPECT_EQ(dir.read("arguments"), expected);
}

TEST(HomeFolder, IsHomeOnlyWhenItBelongsToTheEffectiveUser) {
    TempFolder dir;
    makeFolder(dir.file("mine"), 0755, geteuid());
    makeFolder(dir.file("theirs"), 0755, kOtherUid);
    struct Case {
        const char* label;
        std::optional<std::string> home;
        std::string expected;
    };
    const Case cases[] = {
        {"own folder", dir.file("mine"), dir.file("mine")},
        {"another user's folder", dir.file("theirs"), passwordHome()},
        {"missing folder", dir.file("missing"), passwordHome()},
        {"unset", std::nullopt, passwordHome()},
    };
    for (const Case& c : cases) {
        ScopedEnv env{{"HOME", c.home}};
        EXPECT_EQ(platform::homeFolder(), wide(c.expected)) << c.label;
    }
}

TEST(SpecialFolders, UseAbsoluteXdgValuesElseTheHomeDefaults) {
    TempFolder dir;
    const std::string home = dir.path();
    struct Case {
        const char* label;
        std::optional<std::string> config;
        std::optional<std::string> data;
        std::string expectedConfig;
        std::string expectedData;
    };
    const Case cases[] = {
        {"absolute", "/x/config", "/x/data", "/x/config", "/x/data"},
        {"relative", "x/config", "x/data", home + "/.config", home + "/.local/share"},
        {"empty", "", "", home + "/.config", home + "/.local/share"},
        {"unset", std::nullopt, std::nullopt, home + "/.config", home + "/.local/share"},
    };
    for (const Case& c : cases) {
        ScopedEnv env{{"HOME", home}, {"XDG_CONFIG_HOME", c.config}, {"XDG_DATA_HOME", c.data}};
        EXPECT_EQ(platform::configHomeFolder(), wide(c.expectedConfig)) << c.label;
        EXPECT_EQ(platform::dataHomeFolder(), wide(c.expectedData)) << c.label;
    }
}

// What programFilesFolder() gives in a child running as the given user with the given home.
std::string programFilesAs(uid_t euid, const std::string& home) {
    const ChildRun run = runInChild([&](int out) {
        setenv("HOME", home.c_str(), 1);
        if (euid != geteuid() && setresuid(euid, euid, euid) != 0) {
            return 1;
        }
        const std::string folder = platform::nativePath(platform::programFilesFolder());
        (void)!write(out, folder.data(), folder.size());
        return 0;
    });
    return run.exitCode() == 0 ? run.output : "(child failed)";
}

TEST(ProgramFilesFolder, IsOptForRootAndBelowHomeForOthers) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to look at it both as root and as another user";
    }
    TempFolder dir;
    // The other user must be able to reach the home inside the test's folder.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    makeFolder(dir.file("home"), 0755, kOtherUid);
    makeFolder(dir.file("root-home"), 0755, 0);
    EXPECT_EQ(programFilesAs(0, dir.file("home")), "/opt");
    EXPECT_EQ(programFilesAs(kOtherUid, dir.file("home")), dir.file("home") + "/.local/opt");
    if (getpwuid(kOtherUid) == nullptr) {
        // No usable $HOME and no password entry: nothing rather than a path below the current
        // folder.
        EXPECT_EQ(programFilesAs(kOtherUid, dir.file("root-home")), "");
    }
}

TEST(TempFolder, IsAbsoluteTmpdirElseTmp) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"/var/tmp/x", "/var/tmp/x"}, {"var/tmp", "/tmp"}, {"", "/tmp"}, {std::nullopt, "/tmp"}};
    for (const auto& [tmpdir, expected] : cases) {
        ScopedEnv env{{"TMPDIR", tmpdir}};
        EXPECT_EQ(platform::tempFolder(), wide(expected)) << tmpdir.value_or("(unset)");
    }
}

bool isPrivateFolder(const std::wstring& folder) {
    struct stat info {};
    return lstat(platform::nativePath(folder).c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == geteuid() && (info.st_mode & 07777) == 0700;
}

TEST(PrivateTempFolder, UsesOnlyARealPrivateFolderOfOurs) {
    enum class Planted { Nothing, Private, WrongMode, OtherOwner, Symlink };
    struct Case {
        const char* label;
        Planted planted;
        bool keepsTheNamedFolder;
    };
    const Case cases[] = {
        {"missing: created", Planted::Nothing, true},
        {"ours and 0700: reused", Planted::Private, true},
        {"mode 0755", Planted::WrongMode, false},
        {"another owner", Planted::OtherOwner, false},
        {"link to a private folder", Planted::Symlink, false},
    };
    const std::string named = "setup-temp-" + std::to_string(geteuid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder tmp;
        ScopedEnv env{{"TMPDIR", tmp.path()}};
        const std::string namedPath = tmp.file(named);
        switch (c.planted) {
            case Planted::Nothing:
                break;
            case Planted::Private:
                makeFolder(namedPath, 0700, geteuid());
                break;
            case Planted::WrongMode:
                makeFolder(namedPath, 0755, geteuid());
                break;
            case Planted::OtherOwner:
                makeFolder(namedPath, 0700, kOtherUid);
                break;
            case Planted::Symlink:
                makeFolder(tmp.file("elsewhere"), 0700, geteuid());
                ASSERT_EQ(symlink(tmp.file("elsewhere").c_str(), namedPath.c_str()), 0);
                break;
        }
        const std::wstring folder = platform::privateTempFolder(L"setup-temp");
        EXPECT_TRUE(isPrivateFolder(folder));
        if (c.keepsTheNamedFolder) {
            EXPECT_EQ(folder, wide(namedPath));
        } else {
            EXPECT_NE(folder, wide(namedPath));
            EXPECT_EQ(platform::parentFolder(folder), wide(tmp.path()));
            EXPECT_EQ(platform::fileNameOf(folder).rfind(L"setup-temp-", 0), 0u);
        }
    }
}

TEST(PrivateTempFolder, IsEmptyWhenNothingCanBeCreated) {
    ScopedEnv env{{"TMPDIR", "/proc/no-such-folder"}};
    EXPECT_EQ(platform::privateTempFolder(L"setup-temp"), L"");
}

TEST(RuntimeFolder, UsesXdgRuntimeDirOnlyWhenPrivateElseTheFallback) {
    TempFolder dir;
    makeFolder(dir.file("private"), 0700, geteuid());
    makeFolder(dir.file("open"), 0755, geteuid());
    makeFolder(dir.file("theirs"), 0700, kOtherUid);
    ASSERT_EQ(symlink(dir.file("private").c_str(), dir.file("link").c_str()), 0);
    const std::string fallback = dir.file("setup-run-" + std::to_string(geteuid()));
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {dir.file("private"), dir.file("private")},
        {dir.file("open"), fallback},
        {dir.file("theirs"), fallback},
        {dir.file("link"), fallback},
        {"relative/run", fallback},
        {std::nullopt, fallback},
    };
    for (const auto& [runtimeDir, expected] : cases) {
        ScopedEnv env{{"XDG_RUNTIME_DIR", runtimeDir}, {"TMPDIR", dir.path()}};
        EXPECT_EQ(platform::runtimeFolder(L"setup-run"), wide(expected))
            << runtimeDir.value_or("(unset)");
    }
}

}  // namespace

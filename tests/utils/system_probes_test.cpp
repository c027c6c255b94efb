#include "utils/system_probes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

using test_support::runInChild;
using test_support::ScopedEnv;
using test_support::TempFolder;
namespace fs = std::filesystem;

constexpr mode_t kPermissionBits = 07777;
constexpr mode_t kPrivateMode = 0700;
constexpr std::size_t kMaxPathUnits = 260;
constexpr int kSkipExitCode = 77;

std::wstring wide(const std::string& text) {
    return fs::path(text).wstring();
}

// A started program, killed and reaped when the test is done with it. posix_spawn returns only
// after the exec, so /proc already shows the new image.
class SpawnedProcess {
public:
    SpawnedProcess(const std::string& program, std::vector<std::string> argv) {
        // The script variant waits on a read from this pipe, so killing the shell leaves nothing.
        if (pipe2(input_, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input_[0], STDIN_FILENO);
        std::vector<char*> args;
        for (std::string& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, args.data(), environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SpawnedProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : input_) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
    int input_[2] = {-1, -1};
};

TEST(FindProcessIdTest, FindsRunningProgramsByImageArgumentAndScriptName) {
    const TempFolder folder;
    const std::string suffix = std::to_string(getpid());
    // Longer than the kernel's 15-byte short name, so the script match has to use the prefix.
    const std::string imageName = "brivano-probe-image-" + suffix;
    const std::string argvName = "brivano-probe-argv0-" + suffix;
    const std::string scriptName = "brivano-probe-script-" + suffix;
    const std::string image = folder.file(imageName);
    fs::copy_file("/bin/sleep", image);
    fs::permissions(image, fs::perms::owner_all);
    const std::string script = folder.write(scriptName, "#!/bin/sh\nread line\n");
    fs::permissions(script, fs::perms::owner_all);

    const SpawnedProcess sleeper(image, {"/some/where/" + argvName, "30"});
    const SpawnedProcess shell(script, {script});
    ASSERT_GT(sleeper.pid(), 0);
    ASSERT_GT(shell.pid(), 0);

    const struct {
        const char* name;
        std::string executable;
        pid_t expected;
    } cases[] = {
        {"image file name", imageName, sleeper.pid()},
        {"argv[0] base name", argvName, sleeper.pid()},
        {"script run through its #! line", scriptName, shell.pid()},
        {"letter case differs", "BRIVANO-probe-image-" + suffix, 0},
        {"a path is not a name", image, 0},
        {"nobody runs it", "brivano-probe-missing-" + suffix, 0},
        {"empty name", "", 0},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(Utils::FindProcessId(wide(row.executable)),
                  static_cast<std::uint32_t>(row.expected))
            << row.name;
    }
}

// Processes end and are reaped between the scan opening their files and reading them; the scan
// skips them instead of failing.
TEST(FindProcessIdTest, ProcessesEndingDuringTheScanAreSkipped) {
    std::atomic<bool> scanning{true};
    std::thread churn([&scanning] {
        while (scanning) {
            const SpawnedProcess shortLived("/bin/sleep", {"sleep", "30"});
        }
    });
    for (int scan = 0; scan < 1000; ++scan) {
        EXPECT_NO_THROW(Utils::FindProcessId(L"brivano-probe-nobody"));
    }
    scanning = false;
    churn.join();
}

TEST(CheckNetworkTest, CombinesConnectivityAndStatusAndLogsTheReason) {
    using platform::NetworkState;
    const struct {
        const char* name;
        std::optional<NetworkState> answer;
        std::uint32_t expected;
        const wchar_t* logged;  // nullptr: nothing is logged
    } cases[] = {
        {"network cannot be asked", std::nullopt, 0, nullptr},
        {"no connectivity", NetworkState{0, false}, 0x10000, L"GetConnectivity 0"},
        {"local network only", NetworkState{platform::kConnectivityIpv4LocalNetwork, false},
         0x20020, L"get_IsConnectedToInternet:0"},
        {"internet over both families",
         NetworkState{platform::kConnectivityIpv4Internet | platform::kConnectivityIpv6Internet,
                      true},
         0x440, nullptr},
    };
    for (const auto& row : cases) {
        const platform::DebugOutputCapture capture;
        EXPECT_EQ(Utils::CheckNetwork([&row] { return row.answer; }), row.expected) << row.name;
        const std::vector<std::wstring> lines = capture.lines();
        if (row.logged == nullptr) {
            EXPECT_TRUE(lines.empty()) << row.name;
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << row.name;
        EXPECT_NE(lines[0].find(L"(Utils::CheckNetwork)"), std::wstring::npos) << row.name;
        EXPECT_TRUE(lines[0].ends_with(std::wstring(L": ") + row.logged)) << row.name;
    }
}

TEST(CheckNetworkTest, MachineAnswerIsConsistent) {
    const std::uint32_t result = Utils::CheckNetwork();
    const std::uint32_t connectivity = result & 0xFFFF;
    const std::uint32_t status = result >> 16;
    const std::uint32_t internetBits =
        platform::kConnectivityIpv4Internet | platform::kConnectivityIpv6Internet;
    if (connectivity == 0) {
        EXPECT_TRUE(result == 0 || status == 1) << std::hex << result;
    } else if ((connectivity & internetBits) != 0) {
        EXPECT_EQ(status, 0u) << std::hex << result;
    } else {
        EXPECT_EQ(status, 2u) << std::hex << result;
    }
}

TEST(HardDiskManagerTest, CountsSpaceOfAFolderAndOfItsNotYetCreatedSubfolder) {
    const TempFolder folder;
    struct statvfs expected {};
    ASSERT_EQ(statvfs(folder.path().c_str(), &expected), 0);
    const std::uint64_t expectedTotal =
        static_cast<std::uint64_t>(expected.f_blocks) * expected.f_frsize;

    for (const std::string& path : {folder.path().string(), folder.file("not/yet/there")}) {
        Utils::HardDiskManager disk;
        EXPECT_EQ(disk.totalBytes(), 0u);
        ASSERT_TRUE(disk.CheckFreeSpace(wide(path))) << path;
        EXPECT_EQ(disk.totalBytes(), expectedTotal) << path;
        EXPECT_GT(disk.totalFreeBytes(), 0u) << path;
        EXPECT_LE(disk.freeBytesToCaller(), disk.totalFreeBytes()) << path;
        EXPECT_LE(disk.totalFreeBytes(), disk.totalBytes()) << path;
    }
}

TEST(HardDiskManagerTest, FailureKeepsCountsAndLogsTheSystemError) {
    const TempFolder folder;
    const std::string file = folder.write("plain-file", "x");
    Utils::HardDiskManager disk;
    ASSERT_TRUE(disk.CheckFreeSpace(wide(folder.path().string())));
    const std::uint64_t total = disk.totalBytes();

    const platform::DebugOutputCapture capture;
    EXPECT_FALSE(disk.CheckFreeSpace(wide(file + "/below-a-file")));
    EXPECT_EQ(disk.totalBytes(), total);
    const std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(L"(Utils::HardDiskManager::CheckFreeSpace)"), std::wstring::npos);
    EXPECT_TRUE(lines[0].ends_with(L": HardDiskManager::CheckFreeSpace FAIL code=" +
                                   std::to_wstring(ENOTDIR) + L"\r\n"))
        << lines[0];
}

TEST(AccountsTest, AdministratorsAreRootAndTheAdminGroups) {
    EXPECT_EQ(Utils::IsAdminGroupMember(), geteuid() == 0);
    EXPECT_TRUE(Utils::IsAdminUser(L"root"));
    EXPECT_FALSE(Utils::IsAdminUser(L"nobody"));
    EXPECT_FALSE(Utils::IsAdminUser(L"brivano-no-such-account"));
    EXPECT_FALSE(Utils::IsAdminUser(L""));
}

TEST(AccountsTest, OtherEffectiveUserIsNoAdministrator) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to change the effective user";
    }
    const test_support::ChildRun run = runInChild([](int out) {
        constexpr uid_t kNobodyUid = 65534;
        if (seteuid(kNobodyUid) != 0) {
            return 2;
        }
        const char answer = Utils::IsAdminGroupMember() ? '1' : '0';
        return write(out, &answer, 1) == 1 ? 0 : 3;
    });
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_EQ(run.output, "0");
}

TEST(AccountsTest, MemberOfAnAdministratorGroupIsAdministrator) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount a group file";
    }
    const TempFolder folder;
    const test_support::ChildRun run = runInChild([&folder](int out) {
        // A private mount namespace, so the planted group file is seen by this child alone.
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return kSkipExitCode;
        }
        std::string groups = "root:x:0:\n";
        for (const char* admin : {"sudo", "wheel", "admin"}) {
            // Only the member of the last one may pass: every group name has to be asked.
            groups += std::string(admin) + ":x:" + std::to_string(60000 + groups.size()) +
                      (std::string(admin) == "admin" ? ":nobody\n" : ":\n");
        }
        const std::string file = folder.write("group", groups);
        if (mount(file.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) != 0) {
            return kSkipExitCode;
        }
        const std::string answer = std::to_string(Utils::IsAdminUser(L"nobody")) +
                                   std::to_string(Utils::IsAdminUser(L"daemon"));
        return write(out, answer.data(), answer.size()) == 2 ? 0 : 1;
    });
    if (run.exitCode() == kSkipExitCode) {
        GTEST_SKIP() << "needs a private mount namespace";
    }
    EXPECT_EQ(run.exitCode(), 0);
    EXPECT_EQ(run.output, "10");
}

TEST(AccountsTest, ConsoleUserComesFromSudoThenPkexecThenTheRealUser) {
    const std::string realUser = "root";  // the tests run as root here; checked below
    if (getuid() != 0) {
        GTEST_SKIP() << "expects the real user to be root";
    }
    const struct {
        const char* name;
        std::optional<std::string> sudoUser;
        std::optional<std::string> pkexecUid;
        std::wstring expected;
    } cases[] = {
        {"sudo caller", "alice", "65534", L"alice"},
        {"empty sudo caller is no caller", "", "65534", L"nobody"},
        {"pkexec caller", std::nullopt, "65534", L"nobody"},
        {"pkexec uid that is no number", std::nullopt, "12abc", wide(realUser)},
        {"nobody called us", std::nullopt, std::nullopt, wide(realUser)},
    };
    for (const auto& row : cases) {
        const ScopedEnv env{{"SUDO_USER", row.sudoUser}, {"PKEXEC_UID", row.pkexecUid}};
        std::wstring name = L"unchanged";
        EXPECT_TRUE(Utils::GetConsoleUserName(name)) << row.name;
        EXPECT_EQ(name, row.expected) << row.name;
    }
}

class InstallerTempDirTest : public ::testing::Test {
protected:
    TempFolder base_;
    const ScopedEnv env_{{"TMPDIR", base_.path().string()}};
    const std::string usual_ =
        base_.file("~PeltaTemp.92482B06FB471E17-" + std::to_string(geteuid()));

    static void expectPrivateFolder(const std::wstring& path) {
        ASSERT_TRUE(path.ends_with(L"/")) << fs::path(path);
        struct stat info {};
        ASSERT_EQ(lstat(fs::path(path).c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & kPermissionBits, kPrivateMode);
        EXPECT_EQ(info.st_uid, geteuid());
    }
};

TEST_F(InstallerTempDirTest, CreatesPrivateFolderOnceAndReusesIt) {
    const std::wstring first = Utils::GetInstallerTempDir();
    EXPECT_EQ(first, wide(usual_ + "/"));
    expectPrivateFolder(first);
    const std::string marker = usual_ + "/marker";
    std::ofstream(marker) << "kept";
    EXPECT_EQ(Utils::GetInstallerTempDir(), first);
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(InstallerTempDirTest, PlantedFolderIsRefusedForAFreshOne) {
    const TempFolder elsewhere;
    const struct {
        const char* name;
        void (*plant)(const std::string& usual, const std::string& target);
    } cases[] = {
        {"symbolic link to a private folder",
         [](const std::string& usual, const std::string& target) {
             fs::create_directory_symlink(target, usual);
         }},
        {"folder others may enter",
         [](const std::string& usual, const std::string&) {
             fs::create_directory(usual);
             chmod(usual.c_str(), 0755);
         }},
    };
    chmod(elsewhere.path().c_str(), kPrivateMode);
    for (const auto& row : cases) {
        fs::remove_all(usual_);
        row.plant(usual_, elsewhere.path().string());
        const std::wstring path = Utils::GetInstallerTempDir();
        EXPECT_NE(path, wide(usual_ + "/")) << row.name;
        EXPECT_EQ(fs::path(path).parent_path().parent_path(), base_.path()) << row.name;
        expectPrivateFolder(path);
    }
}

TEST(CreateDirectoryTreeTest, CreatesEveryLevelAndRefusesWhatCannotBeOne) {
    const TempFolder folder;
    const std::string file = folder.write("plain-file", "x");
    const std::string root = folder.path().string();
    // Exactly at the limit, and one unit over it: the latter must not touch the disk.
    const std::string atLimit = root + "/" + std::string(kMaxPathUnits - root.size() - 1, 'a');
    const std::string overLimit = root + "/" + std::string(kMaxPathUnits - root.size(), 'b');
    const struct {
        const char* name;
        std::string path;
        bool expected;
    } cases[] = {
        {"nested levels", root + "/a/b/c", true}, {"trailing separator", root + "/d/e/", true},
        {"existing folder", root, true},          {"file in the way", file + "/sub", false},
        {"file as the last level", file, false},  {"260 units", atLimit, true},
        {"261 units", overLimit, false},
    };
    for (const auto& row : cases) {
        ASSERT_EQ(wide(row.path).size(), row.path.size()) << row.name;
        EXPECT_EQ(Utils::CreateDirectoryTree(wide(row.path)), row.expected) << row.name;
        if (row.expected) {
            EXPECT_TRUE(fs::is_directory(row.path)) << row.name;
        }
    }
    EXPECT_FALSE(fs::exists(overLimit));
}

TEST(NewGuidStringTest, ThirtyTwoHexDigitsWithTheThirdGroupInLowerCase) {
    // The version nibble (4) leads the third group.
    const std::wregex shape(L"[0-9A-F]{12}4[0-9a-f]{3}[0-9A-F]{16}");
    const std::wstring first = Utils::NewGuidString();
    const std::wstring second = Utils::NewGuidString();
    EXPECT_TRUE(std::regex_match(first, shape)) << fs::path(first);
    EXPECT_TRUE(std::regex_match(second, shape)) << fs::path(second);
    EXPECT_NE(first, second);
}

}  // namespace

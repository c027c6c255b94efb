#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using platform::readRegistryValue;
using platform::RegistryValue;
using platform::writeRegistryValue;
using test_support::ScopedEnv;
using test_support::TempFolder;

constexpr wchar_t kKey[] = L"Software\\PeltaSoft\\BrivanoPhotoEditor";
constexpr char kStoreName[] = "brivano-registry";

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()) << "no temporary folder"; }

    TempFolder folder_;
    ScopedEnv env_{{"XDG_CONFIG_HOME", folder_.path()}};
};

TEST_F(RegistryStoreTest, KeepsTypeAndExactBytes) {
    const struct {
        const char* what;
        const wchar_t* name;
        std::uint32_t type;
        std::string bytes;
    } rows[] = {
        {"text has no terminating zero", L"InstallPath", platform::kRegSz,
         platform::utf16leFromWide(L"C:\\A")},
        {"dword keeps its zero bytes", L"Flags", platform::kRegDword, std::string("\x2a\0\0\0", 4)},
        {"binary with line ends and high bytes", L"Blob", platform::kRegBinary,
         std::string("\n\r \xff\0\x80", 6)},
        {"empty data", L"Empty", platform::kRegSz, ""},
        {"non-ASCII name", L"Ordner\u00e4\u4e2d", platform::kRegExpandSz, "x"},
        {"empty value name is the default value", L"", platform::kRegSz, "ab"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(writeRegistryValue(kKey, row.name, row.type, row.bytes)) << row.what;
    }
    for (const auto& row : rows) {
        const std::optional<RegistryValue> read = readRegistryValue(kKey, row.name);
        ASSERT_TRUE(read) << row.what;
        EXPECT_EQ(read->type, row.type) << row.what;
        EXPECT_EQ(read->bytes, row.bytes) << row.what;
    }
    EXPECT_EQ(readRegistryValue(kKey, L"InstallPath")->bytes.size(), 8u);
    EXPECT_FALSE(folder_.read(kStoreName).empty()) << "the store lives below XDG_CONFIG_HOME";
}

TEST_F(RegistryStoreTest, CreatesAMissingConfigurationFolder) {
    const std::string nested = folder_.file("a/b");
    const ScopedEnv nestedEnv{{"XDG_CONFIG_HOME", nested}};
    ASSERT_TRUE(writeRegistryValue(kKey, L"V", platform::kRegSz, "ab"));
    EXPECT_EQ(readRegistryValue(kKey, L"V")->bytes, "ab");
    EXPECT_FALSE(folder_.read("a/b/brivano-registry").empty());
}

TEST_F(RegistryStoreTest, KeyPathsAndValueNamesCompareWithoutCase) {
    ASSERT_TRUE(writeRegistryValue(kKey, L"InstallPath", platform::kRegSz, "one"));
    const std::optional<RegistryValue> other =
        readRegistryValue(L"SOFTWARE\\peltasoft\\brivanophotoeditor", L"INSTALLPATH");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->bytes, "one");

    // A write under another spelling replaces the value instead of adding a second one.
    ASSERT_TRUE(writeRegistryValue(L"software\\PELTASOFT\\BrivanoPhotoEditor", L"installpath",
                                   platform::kRegDword, "two"));
    const std::optional<RegistryValue> replaced = readRegistryValue(kKey, L"InstallPath");
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->type, platform::kRegDword);
    EXPECT_EQ(replaced->bytes, "two");

    EXPECT_FALSE(readRegistryValue(L"Software\\PeltaSoft\\Other", L"InstallPath"));
    EXPECT_FALSE(readRegistryValue(kKey, L"UnInstallEp"));
}

TEST_F(RegistryStoreTest, DamagedStoreReadsAsEmptyAndTheNextWriteStartsAfresh) {
    ASSERT_TRUE(writeRegistryValue(kKey, L"InstallPath", platform::kRegSz, "ab"));
    const std::string intact = folder_.read(kStoreName);
    ASSERT_FALSE(intact.empty());

    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"empty file", ""},
        {"random bytes", std::string("\x00\xff\x13garbage\n\n", 12)},
        {"cut in the middle", intact.substr(0, intact.size() / 2)},
        {"last line end missing", intact.substr(0, intact.size() - 1)},
        {"another format version", "brivano-registry 2" + intact.substr(intact.find('\n'))},
        {"odd hex digit count", std::string(intact).insert(intact.find('\n') + 1, "0")},
        {"count does not match", intact + "end 0\n"},
    };
    for (const auto& row : rows) {
        folder_.write(kStoreName, row.bytes);
        EXPECT_FALSE(readRegistryValue(kKey, L"InstallPath")) << row.what;
        ASSERT_TRUE(writeRegistryValue(kKey, L"Other", platform::kRegSz, "cd")) << row.what;
        EXPECT_EQ(readRegistryValue(kKey, L"Other")->bytes, "cd") << row.what;
        EXPECT_FALSE(readRegistryValue(kKey, L"InstallPath")) << row.what;
    }
}

TEST_F(RegistryStoreTest, ConcurrentWritersInTwoProcessesLoseNothing) {
    constexpr int kValuesPerWriter = 100;
    const auto writeAll = [](const std::wstring& prefix) {
        bool allWritten = true;
        for (int i = 0; i < kValuesPerWriter; ++i) {
            allWritten &= writeRegistryValue(kKey, prefix + std::to_wstring(i), platform::kRegDword,
                                             std::to_string(i));
        }
        return allWritten;
    };

    const pid_t child = fork();
    ASSERT_GE(child, 0) << "fork";
    if (child == 0) {
        _exit(writeAll(L"child") ? 0 : 1);
    }
    const bool parentWrote = writeAll(L"parent");
    int status = -1;
    pid_t reaped = -1;
    do {
        reaped = waitpid(child, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    ASSERT_EQ(reaped, child);
    EXPECT_TRUE(parentWrote);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child's writes";

    std::vector<std::wstring> missing;
    for (const std::wstring prefix : {L"child", L"parent"}) {
        for (int i = 0; i < kValuesPerWriter; ++i) {
            const std::wstring name = prefix + std::to_wstring(i);
            const std::optional<RegistryValue> read = readRegistryValue(kKey, name);
            if (!read || read->bytes != std::to_string(i)) {
                missing.push_back(name);
            }
        }
    }
    EXPECT_TRUE(missing.empty()) << missing.size() << " values lost";
}

}  // namespace

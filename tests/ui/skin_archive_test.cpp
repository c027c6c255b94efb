#include "ui/skin_archive.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/embedded_resources.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "toolkit/resource_archive.h"
#include "ui/skin_resources.h"

namespace ui {
namespace {

std::span<const std::uint8_t> embeddedSkin() {
    const auto resource =
        platform::findEmbeddedResource(kSkinArchiveResourceType, kSkinArchiveResourceId);
    return resource ? *resource : std::span<const std::uint8_t>();
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What 7-Zip itself reports of an archive: the archive's properties, then one block of
// properties per item in archive order.
struct SevenZipListing {
    std::map<std::string, std::string> archive;
    std::vector<std::map<std::string, std::string>> items;
};

SevenZipListing listWith7zz(const std::string& archivePath) {
    const test_support::ChildRun run = test_support::runInChild([&](int out) {
        dup2(out, STDOUT_FILENO);
        execlp("7zz", "7zz", "l", "-slt", archivePath.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
    EXPECT_EQ(run.exitCode(), 0) << run.output;
    SevenZipListing listing;
    std::map<std::string, std::string>* block = nullptr;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (line == "--") {
            block = &listing.archive;
        } else if (line.starts_with("----------")) {
            block = nullptr;
        } else if (line.starts_with("Path = ") && block == nullptr) {
            block = &listing.items.emplace_back();
        }
        const std::size_t equals = line.find(" = ");
        if (block != nullptr && equals != std::string::npos) {
            (*block)[line.substr(0, equals)] = line.substr(equals + 3);
        } else if (block != nullptr && line.empty() && block != &listing.archive) {
            block = nullptr;
        }
    }
    return listing;
}

TEST(SkinResources, ProgramCarriesTheSkinArchiveAndTheWindowIcon) {
    const std::span<const std::uint8_t> skin = embeddedSkin();
    const std::uint8_t sevenZipSignature[] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
    ASSERT_GE(skin.size(), sizeof sevenZipSignature);
    EXPECT_EQ(std::memcmp(skin.data(), sevenZipSignature, sizeof sevenZipSignature), 0);

    const auto icon =
        platform::findEmbeddedResource(kWindowIconResourceType, kWindowIconResourceId);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(std::vector<std::uint8_t>(icon->begin(), icon->end()),
              fileBytes(BRIVANO_WINDOW_ICON_PATH));

    EXPECT_FALSE(platform::findEmbeddedResource(kWindowIconResourceType, kSkinArchiveResourceId));
    EXPECT_FALSE(platform::findEmbeddedResource(kSkinArchiveResourceType, kWindowIconResourceId));
}

TEST(SkinArchive, EmbeddedArchiveIsOneSolidLzma2BlockWithCompressedHeaders) {
    const std::span<const std::uint8_t> skin = embeddedSkin();
    const test_support::TempFolder folder;
    const std::string path = folder.write("skin.7z", std::string(skin.begin(), skin.end()));
    const SevenZipListing listing = listWith7zz(path);

    EXPECT_EQ(listing.archive.at("Method"), "LZMA2:768k");
    EXPECT_EQ(listing.archive.at("Solid"), "+");
    EXPECT_EQ(listing.archive.at("Blocks"), "1");

    // The start header points at the archive's header; an encoded (packed) header begins with
    // property id 0x17, a plain one with 0x01.
    ASSERT_GE(skin.size(), 32u);
    std::uint64_t nextHeaderOffset = 0;
    std::memcpy(&nextHeaderOffset, skin.data() + 12, sizeof nextHeaderOffset);
    ASSERT_LT(32 + nextHeaderOffset, skin.size());
    EXPECT_EQ(skin[32 + nextHeaderOffset], 0x17);

    std::size_t directories = 0;
    for (const auto& item : listing.items) {
        directories += item.at("Attributes").starts_with("D") ? 1 : 0;
    }
    EXPECT_EQ(directories, 5u);
    EXPECT_EQ(listing.items.size() - directories, 68u);

    // Each decoded file sits at 7-Zip's position for it, directories counted.
    const SkinArchive archive(kSkinArchiveName, skin);
    EXPECT_EQ(archive.entries().size(), listing.items.size() - directories);
    for (const SkinEntry& entry : archive.entries()) {
        ASSERT_LT(entry.index, listing.items.size());
        EXPECT_EQ(std::filesystem::path(entry.name).string(),
                  listing.items[entry.index].at("Path"));
    }
}

TEST(SkinArchive, HoldsEveryFileOfTheSkinFolderAsItIsOnDisk) {
    const SkinArchive archive(kSkinArchiveName, embeddedSkin());
    std::size_t filesOnDisk = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(BRIVANO_SKIN_DIR)) {
        filesOnDisk += item.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(archive.entries().size(), filesOnDisk);

    for (const SkinEntry& entry : archive.entries()) {
        SCOPED_TRACE(std::filesystem::path(entry.name).string());
        EXPECT_EQ(entry.data, fileBytes(std::filesystem::path(BRIVANO_SKIN_DIR) / entry.name));
        EXPECT_EQ(entry.size, entry.data.size());
        EXPECT_EQ(entry.nameLength, entry.name.size() + 1);
    }
}

TEST(SkinArchive, FindsNamesAsWindowsAndLayoutsSpellThem) {
    const SkinArchive archive(kSkinArchiveName, embeddedSkin());
    struct Case {
        std::wstring asked;
        std::wstring stored;  // empty: nothing found
    };
    const Case cases[] = {
        {L"MainWnd.xml", L"mainWnd.xml"},
        {L"ExitTipWnd.xml", L"exitTipWnd.xml"},
        {L"res\\mainWnd\\bg1.png", L"res/mainWnd/bg1.png"},
        {L"res/mainWnd/bg1.png", L"res/mainWnd/bg1.png"},
        {L"RES\\MAINWND/BG1.PNG", L"res/mainWnd/bg1.png"},
        {L"res\\mainWnd\\installBtnAnimate\\007.png", L"res/mainWnd/installBtnAnimate/007.png"},
        {L"res/mainWnd", L""},
        {L"res/mainWnd/", L""},
        {L"res\\common\\closebtn4.png", L""},
        {L"mainWnd.xm", L""},
        {L"mainWnd.xml ", L""},
        {L"/mainWnd.xml", L""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::filesystem::path(c.asked).string());
        const auto found = archive.find(c.asked);
        ASSERT_EQ(found.has_value(), !c.stored.empty());
        if (!found) {
            continue;
        }
        const auto content = archive.read(found->index);
        ASSERT_TRUE(content.has_value());
        EXPECT_EQ(found->size, content->size());
        EXPECT_EQ(*content, fileBytes(std::filesystem::path(BRIVANO_SKIN_DIR) / c.stored));
    }

    // Directories are numbered but hold nothing to read.
    std::uint32_t lastIndex = 0;
    for (const SkinEntry& entry : archive.entries()) {
        lastIndex = std::max(lastIndex, entry.index);
    }
    std::size_t readable = 0;
    for (std::uint32_t index = 0; index <= lastIndex + 1; ++index) {
        readable += archive.read(index).has_value() ? 1 : 0;
    }
    EXPECT_EQ(readable, archive.entries().size());
}

TEST(SkinArchive, RegistersOnceUnderMembufferAndReusesIt) {
    SkinUI::registerResourceArchive(nullptr);

    const std::shared_ptr<const SkinArchive> first = prepareSkinArchive();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->name(), L"membuffer");
    EXPECT_FALSE(first->entries().empty());
    EXPECT_EQ(SkinUI::registeredResourceArchive(), first);

    // Later windows get the same decoded archive, however they ask for it.
    EXPECT_EQ(prepareSkinArchive(), first);
    EXPECT_EQ(registerSkinArchive(embeddedSkin()), first);
    EXPECT_EQ(SkinUI::registeredResourceArchive(), first);

    // Empty bytes register nothing and leave the registered archive alone.
    EXPECT_EQ(registerSkinArchive({}), nullptr);
    EXPECT_EQ(SkinUI::registeredResourceArchive(), first);

    // Once another archive took its place, the skin is decoded again.
    const std::uint8_t notAnArchive[] = {'n', 'o', 't', ' ', '7', 'z'};
    SkinUI::registerResourceArchive(
        std::make_shared<const SkinArchive>(L"other", std::span(notAnArchive)));
    const std::shared_ptr<const SkinArchive> again = prepareSkinArchive();
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, first);
    EXPECT_EQ(again->entries().size(), first->entries().size());
    EXPECT_EQ(SkinUI::registeredResourceArchive(), again);
    SkinUI::registerResourceArchive(nullptr);
}

TEST(SkinArchive, UnreadableBytesRegisterAnArchiveWithoutEntries) {
    SkinUI::registerResourceArchive(nullptr);
    const std::span<const std::uint8_t> skin = embeddedSkin();
    const std::string text = "<Window size=\"600,400\"/>";
    const std::vector<std::uint8_t> unreadable[] = {
        std::vector<std::uint8_t>(text.begin(), text.end()),
        std::vector<std::uint8_t>(skin.begin(), skin.begin() + 32),             // start header only
        std::vector<std::uint8_t>(skin.begin(), skin.end() - skin.size() / 4),  // header cut off
    };
    for (const std::vector<std::uint8_t>& bytes : unreadable) {
        const std::shared_ptr<const SkinArchive> registered = registerSkinArchive(bytes);
        ASSERT_NE(registered, nullptr);
        EXPECT_EQ(registered->name(), L"membuffer");
        EXPECT_TRUE(registered->entries().empty());
        EXPECT_FALSE(registered->find(L"MainWnd.xml").has_value());
        EXPECT_EQ(SkinUI::registeredResourceArchive(), registered);
        SkinUI::registerResourceArchive(nullptr);
    }
}

TEST(SkinArchive, EntryThatFailsToExtractEndsDecodingKeepingThoseBefore) {
    const std::span<const std::uint8_t> skin = embeddedSkin();
    const SkinArchive intact(kSkinArchiveName, skin);

    // A damaged byte halfway through the packed block: the headers still read, the files
    // unpacked before the damage are whole, the one it hits and all after it are missing.
    std::vector<std::uint8_t> damaged(skin.begin(), skin.end());
    damaged[damaged.size() / 2] ^= 0x55;
    const SkinArchive partial(kSkinArchiveName, damaged);

    ASSERT_GT(partial.entries().size(), 0u);
    ASSERT_LT(partial.entries().size(), intact.entries().size());
    for (std::size_t i = 0; i < partial.entries().size(); ++i) {
        const SkinEntry& kept = partial.entries()[i];
        EXPECT_EQ(kept.name, intact.entries()[i].name);
        EXPECT_EQ(kept.index, intact.entries()[i].index);
        EXPECT_EQ(kept.data, intact.entries()[i].data);
    }
    const SkinEntry& firstMissing = intact.entries()[partial.entries().size()];
    EXPECT_FALSE(partial.find(firstMissing.name).has_value());
    EXPECT_FALSE(partial.read(firstMissing.index).has_value());
}

TEST(SkinArchive, ReadsNonAsciiNamesWithoutChangingTheThreadLocale) {
    // A skin with names outside ASCII, packed by 7-Zip as the build packs the real one.
    const test_support::TempFolder folder;
    std::filesystem::create_directories(folder.path() / "skin" / "图片");
    std::ofstream(folder.path() / "skin" / "图片" / "Ärger.png", std::ios::binary) << "png bytes";
    std::ofstream(folder.path() / "skin" / "布局.xml", std::ios::binary) << "<Window/>";
    const std::string archivePath = folder.file("skin.7z");
    const std::string skinFolder = folder.file("skin");
    const test_support::ChildRun pack = test_support::runInChild([&](int out) {
        dup2(out, STDOUT_FILENO);
        if (chdir(skinFolder.c_str()) != 0) {
            return 126;
        }
        setenv("LC_ALL", "C.UTF-8", 1);
        execlp("7zz", "7zz", "a", "-t7z", "-m0=lzma2", "-ms=on", "-mhc=on", archivePath.c_str(),
               "*", static_cast<char*>(nullptr));
        return 127;
    });
    ASSERT_EQ(pack.exitCode(), 0) << pack.output;

    const locale_t before = uselocale(locale_t{});
    const SkinArchive archive(kSkinArchiveName, fileBytes(archivePath));
    EXPECT_EQ(uselocale(locale_t{}), before);

    ASSERT_EQ(archive.entries().size(), 2u);
    const auto image = archive.find(L"图片\\äRGER.PNG");
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(archive.read(image->index),
              std::vector<std::uint8_t>({'p', 'n', 'g', ' ', 'b', 'y', 't', 'e', 's'}));
    const auto layout = archive.find(L"布局.xml");
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->size, 9u);
}

}  // namespace
}  // namespace ui

// The skin folder the build packs into the installer: every file the windows ask for is there
// with the pixel size its control is laid out for, and every layout is one the toolkit can build.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <pugixml.hpp>

namespace {

namespace fs = std::filesystem;

const fs::path kSkinDir = BRIVANO_SKIN_DIR;

constexpr int kAnimationFrames = 24;
// 7-Zip shrinks the dictionary to fit the data: with less than this unpacked, the skin archive
// would be built with a 512 KiB dictionary instead of its 768 KiB one.
constexpr std::uintmax_t kMinUnpackedBytes = 512 * 1024 + 1;

struct ImageSize {
    std::string name;
    std::uint32_t widthPx;
    std::uint32_t heightPx;
};

const std::vector<std::string> kLayouts = {"mainWnd.xml",        "MessageBox1Wnd.xml",
                                           "MessageBox2Wnd.xml", "exitTipWnd.xml",
                                           "NetworkTipWnd.xml",  "InstalledPathTipWnd.xml"};

std::vector<ImageSize> expectedImages() {
    std::vector<ImageSize> images = {
        {"res/common/minbtn1.png", 24, 24},
        {"res/common/minbtn2.png", 24, 24},
        {"res/common/minbtn3.png", 24, 24},
        {"res/common/closebtn1.png", 24, 24},
        {"res/common/closebtn2.png", 24, 24},
        {"res/common/closebtn3.png", 24, 24},
        {"res/common/closebtnM_1.png", 24, 24},
        {"res/common/closebtnM_2.png", 24, 24},
        {"res/common/closebtnM_3.png", 24, 24},
        {"res/mainWnd/bg1.png", 600, 400},
        {"res/mainWnd/bg2.png", 600, 400},
        {"res/mainWnd/bg3.png", 600, 400},
        {"res/mainWnd/bg4.png", 600, 400},
        {"res/mainWnd/logo.png", 348, 62},
        {"res/mainWnd/tipLbl.png", 120, 36},
        {"res/mainWnd/Cb1.png", 15, 14},
        {"res/mainWnd/Cb2.png", 15, 14},
        {"res/mainWnd/backBtn1.png", 64, 30},
        {"res/mainWnd/backBtn2.png", 64, 30},
        {"res/mainWnd/backBtn3.png", 64, 30},
        {"res/mainWnd/customeBtn1.png", 16, 16},
        {"res/mainWnd/customeBtn2.png", 16, 16},
        {"res/mainWnd/installDirEdit.png", 340, 36},
        {"res/mainWnd/chDirBtn1.png", 81, 36},
        {"res/mainWnd/chDirBt2.png", 81, 36},
        {"res/mainWnd/chDirBt3.png", 81, 36},
        {"res/mainWnd/installPrg1.png", 520, 8},
        {"res/mainWnd/installPrg2.png", 520, 8},
        {"res/mainWnd/finished.png", 80, 80},
        {"res/mainWnd/expBtn1.png", 200, 46},
        {"res/mainWnd/expBtn2.png", 200, 46},
        {"res/mainWnd/expBtn3.png", 200, 46},
        {"res/mainWnd/installBtn1.png", 200, 46},
        {"res/mainWnd/installBtn2.png", 200, 46},
        {"res/mainWnd/installBtn3.png", 200, 46},
        {"res/MessageBoxWnd/icoNetwork.png", 40, 40},
        {"res/MessageBoxWnd/icoQuest.png", 40, 40},
        {"res/MessageBoxWnd/icoWarn.png", 40, 40},
    };
    for (int frame = 0; frame < kAnimationFrames; ++frame) {
        char name[48];
        std::snprintf(name, sizeof name, "res/mainWnd/installBtnAnimate/%03d.png", frame);
        images.push_back({name, 150, 150});
    }
    return images;
}

// Width and height from the IHDR chunk, which a PNG must carry first; nothing for a file that
// does not start as a PNG.
bool readPngSize(const fs::path& file, std::uint32_t* widthPx, std::uint32_t* heightPx) {
    static constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P',  'N',  'G',
                                                                '\r', '\n', 0x1A, '\n'};
    std::array<unsigned char, 24> head{};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) {
        return false;
    }
    if (!std::equal(kSignature.begin(), kSignature.end(), head.begin()) ||
        std::string(head.begin() + 12, head.begin() + 16) != "IHDR") {
        return false;
    }
    auto bigEndian = [&head](int at) {
        return std::uint32_t{head[at]} << 24 | std::uint32_t{head[at + 1]} << 16 |
               std::uint32_t{head[at + 2]} << 8 | std::uint32_t{head[at + 3]};
    };
    *widthPx = bigEndian(16);
    *heightPx = bigEndian(20);
    return true;
}

// The file an image attribute names: the bare path, or the file='...' of a key='value' list;
// either separator, as the toolkit accepts both.
std::string imageFile(std::string value) {
    const std::string key = "file='";
    if (const auto at = value.find(key); at != std::string::npos) {
        const auto start = at + key.size();
        value = value.substr(start, value.find('\'', start) - start);
    }
    std::replace(value.begin(), value.end(), '\\', '/');
    return value;
}

// Every file a layout's image attributes name, the animation pattern expanded to its frames.
std::set<std::string> namedImages(const pugi::xml_document& layout) {
    static const std::set<std::string> kImageAttributes = {
        "bkimage",       "normalimage",   "hotimage", "pushedimage",
        "disabledimage", "selectedimage", "foreimage"};
    std::set<std::string> files;
    for (const pugi::xpath_node& node : layout.select_nodes("//*")) {
        const pugi::xml_node element = node.node();
        for (const pugi::xml_attribute attribute : element.attributes()) {
            if (kImageAttributes.count(attribute.name()) != 0) {
                files.insert(imageFile(attribute.value()));
            }
        }
        if (const auto pattern = element.attribute("sequencebkimage")) {
            const std::string format = imageFile(pattern.value());
            for (int frame = 0; frame < element.attribute("sequencecount").as_int(); ++frame) {
                char name[128];
                std::snprintf(name, sizeof name, format.c_str(), frame);
                files.insert(name);
            }
        }
    }
    return files;
}

std::map<std::string, pugi::xml_document> loadLayouts() {
    std::map<std::string, pugi::xml_document> layouts;
    for (const std::string& name : kLayouts) {
        const pugi::xml_parse_result result = layouts[name].load_file((kSkinDir / name).c_str());
        EXPECT_TRUE(result) << name << ": " << result.description();
    }
    return layouts;
}

TEST(SkinSources, HoldsExactlyTheLayoutsAndImagesWithTheirPixelSizes) {
    std::set<std::string> expected(kLayouts.begin(), kLayouts.end());
    for (const ImageSize& image : expectedImages()) {
        expected.insert(image.name);
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        ASSERT_TRUE(readPngSize(kSkinDir / image.name, &width, &height)) << image.name;
        EXPECT_EQ(width, image.widthPx) << image.name;
        EXPECT_EQ(height, image.heightPx) << image.name;
    }
    ASSERT_EQ(expected.size(), 68u);

    std::set<std::string> found;
    std::set<std::string> folders;
    std::uintmax_t unpackedBytes = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kSkinDir)) {
        const std::string relative = fs::relative(entry.path(), kSkinDir).generic_string();
        (entry.is_directory() ? folders : found).insert(relative);
        unpackedBytes += entry.is_regular_file() ? entry.file_size() : 0;
    }
    EXPECT_EQ(found, expected);
    EXPECT_GE(unpackedBytes, kMinUnpackedBytes);
    EXPECT_EQ(folders,
              (std::set<std::string>{"res", "res/common", "res/mainWnd",
                                     "res/mainWnd/installBtnAnimate", "res/MessageBoxWnd"}));
}

TEST(SkinSources, LayoutsParseAndUseOnlyTheToolkitsElements) {
    static const std::set<std::string> kElements = {
        "Window",    "Font",    "VerticalLayout", "HorizontalLayout",
        "TabLayout", "Control", "Label",          "Button",
        "CheckBox",  "Edit",    "Progress",       "SequenceLabel"};
    for (const auto& [name, layout] : loadLayouts()) {
        EXPECT_STREQ(layout.document_element().name(), "Window") << name;
        for (const pugi::xpath_node& node : layout.select_nodes("//*")) {
            EXPECT_EQ(kElements.count(node.node().name()), 1u)
                << name << ": <" << node.node().name() << ">";
        }
    }
}

TEST(SkinSources, EveryImageALayoutNamesExistsButTheNeverUsedDisabledOnes) {
    std::set<std::string> missing;
    for (const auto& [name, layout] : loadLayouts()) {
        for (const std::string& file : namedImages(layout)) {
            if (!fs::is_regular_file(kSkinDir / file)) {
                missing.insert(file);
            }
        }
    }
    EXPECT_EQ(missing, (std::set<std::string>{"res/common/minbtn4.png", "res/common/closebtn4.png",
                                              "res/common/closebtnM_4.png"}));
}

TEST(SkinSources, LayoutsGiveTheirWindowsSizeCaptionAndNamedControls) {
    struct Case {
        std::string layout;
        std::string size;
        std::string caption;
        std::vector<std::string> controls;
    };
    const std::vector<Case> cases = {
        {"mainWnd.xml",
         "600,400",
         "0,0,0,35",
         {"winCtn",        "titleTabLt",        "backBtn",           "titleGrpCtn", "minbtn",
          "closebtn",      "mainTabLt",         "defaultInstallBtn", "tipLbl",      "treatyCb",
          "treatyBtn",     "customeBtn",        "installDirEdit",    "chDirBtn",    "createDSCb",
          "createQSCb",    "customeInstallBtn", "progressAnLb",      "progressLb",  "installPrg",
          "openProduceBtn"}},
        {"MessageBox1Wnd.xml", "360,180", "0,0,0,30", {"captionLbl", "textLbl", "closebtn"}},
        {"MessageBox2Wnd.xml", "360,180", "0,0,0,30", {"captionLbl", "textLbl", "closebtn"}},
        {"exitTipWnd.xml", "360,180", "0,0,0,30", {"closebtn", "okBtn", "cancelBtn"}},
        {"NetworkTipWnd.xml", "360,180", "0,0,0,30", {"closebtn", "okBtn", "cancelBtn"}},
        {"InstalledPathTipWnd.xml", "400,180", "0,0,0,30", {"closebtn", "okBtn", "cancelBtn"}},
    };
    auto layouts = loadLayouts();
    for (const Case& c : cases) {
        const pugi::xml_node window = layouts[c.layout].document_element();
        EXPECT_STREQ(window.attribute("size").value(), c.size.c_str()) << c.layout;
        EXPECT_STREQ(window.attribute("caption").value(), c.caption.c_str()) << c.layout;
        EXPECT_STREQ(window.attribute("showshadow").value(), "true") << c.layout;
        for (const std::string& control : c.controls) {
            const std::string query = "//*[@name='" + control + "']";
            EXPECT_EQ(window.select_nodes(query.c_str()).size(), 1u) << c.layout << ": " << control;
        }
    }
    // Four pages for the window's steps, three for the title bar's look on them.
    EXPECT_EQ(layouts["mainWnd.xml"]
                  .select_node("//TabLayout[@name='mainTabLt']")
                  .node()
                  .select_nodes("*")
                  .size(),
              4u);
    EXPECT_EQ(layouts["mainWnd.xml"]
                  .select_node("//TabLayout[@name='titleTabLt']")
                  .node()
                  .select_nodes("*")
                  .size(),
              3u);
}

}  // namespace

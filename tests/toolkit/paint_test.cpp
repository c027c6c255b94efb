#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/path.h"
#include "toolkit/headless_host.h"
#include "toolkit/image.h"
#include "toolkit/progress.h"
#include "toolkit/text_painter.h"
#include "toolkit/toolkit_fixtures.h"

namespace {

using toolkit_test::pixelAt;
using toolkit_test::pngBytes;
using toolkit_test::RecordingWindow;

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kMagenta = 0xFFFF00FF;

int darkPixels(cairo_surface_t* surface, const SkinUI::Rect& area) {
    int dark = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if ((pixelAt(surface, x, y) & 0xFF) < 0x80) {
                ++dark;
            }
        }
    }
    return dark;
}

TEST(Painting, DrawsColoursImagesNineGridsMasksAndRoundCorners) {
    toolkit_test::SkinFolder skin;
    skin.add("img/red.png", pngBytes(4, 4, kRed));
    skin.add("img/frame.png", pngBytes(10, 10, kGreen, kBlack));
    skin.add("img/masked.png", pngBytes(4, 4, kMagenta));
    skin.add("img/bad.png", "\x89PNG\r\n\x1a\n not really");
    skin.add("img/cut.png", pngBytes(8, 8, kRed).substr(0, 40));
    skin.registerArchive();

    SkinUI::HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(R"(<Window size="100,100" roundcorner="20,20">
      <VerticalLayout bkcolor="#FF0000FF">
        <Control height="20" bkimage="img\red.png"/>
        <Control height="20" bkimage="file='img/frame.png' corner='1,1,1,1' hole='true'"/>
        <Control height="20" bkimage="file='img/frame.png' corner='1,1,1,1' dest='10,2,50,18'"/>
        <HorizontalLayout height="20">
          <Control width="20" bkimage="file='img/masked.png' mask='#FF00FF'"/>
          <Control width="20" bkimage="file='img/red.png' fade='0'"/>
          <Control width="20" bkimage="img/bad.png"/>
          <Control width="20" bkimage="img/cut.png"/>
          <Control width="20" bkimage="img/missing.png"/>
        </HorizontalLayout>
        <Control/>
      </VerticalLayout></Window>)"));
    const SkinUI::CairoSurfacePtr image = host.render(window);
    cairo_surface_t* s = image.get();

    const struct {
        const char* what;
        int x;
        int y;
        std::uint32_t pixel;
    } cases[] = {
        {"bare path with backslashes, stretched", 50, 10, kRed},
        {"window corner cut round", 0, 0, 0},
        {"nine-grid edge", 0, 30, kBlack},
        {"hole leaves the middle to the background", 50, 30, kBlue},
        {"dest places the image inside the control", 10, 50, kBlack},
        {"no bleed next to a stretched edge", 11, 50, kGreen},
        {"no bleed before the far edge", 48, 50, kGreen},
        {"outside dest", 60, 50, kBlue},
        {"mask colour is transparent", 10, 70, kBlue},
        {"fade 0 draws nothing", 30, 70, kBlue},
        {"undecodable image draws nothing", 50, 70, kBlue},
        {"truncated image draws nothing", 70, 70, kBlue},
        {"missing image draws nothing", 90, 70, kBlue},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.what);
        EXPECT_EQ(pixelAt(s, expected.x, expected.y), expected.pixel);
    }
}

TEST(Painting, ButtonLooksFollowTheMouseAndProgressFillsToItsValue) {
    SkinUI::HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(R"(<Window size="100,40"><VerticalLayout>
        <Button name="button" height="20" bkcolor="#FFFF0000" hotbkcolor="#FF00FF00"
                pushedbkcolor="#FF0000FF"/>
        <Progress name="bar" bkcolor="#FFFFFFFF" foreimage="fore.png"/>
      </VerticalLayout></Window>)"));
    toolkit_test::SkinFolder skin;
    skin.add("fore.png", pngBytes(4, 4, kBlack));
    skin.registerArchive();
    window.findControl<SkinUI::Progress>(L"bar")->setValue(25);

    const auto buttonPixel = [&] { return pixelAt(host.render(window).get(), 50, 10); };
    EXPECT_EQ(buttonPixel(), kRed);
    window.mouseMove({50, 10});
    EXPECT_EQ(buttonPixel(), kGreen);
    window.mouseDown({50, 10});
    EXPECT_EQ(buttonPixel(), kBlue);
    window.mouseMove({50, 30});  // held and moved off: neither hot nor pushed
    EXPECT_EQ(buttonPixel(), kRed);
    window.mouseUp({50, 30});
    EXPECT_TRUE(window.log.empty()) << "released elsewhere: no click";

    const SkinUI::CairoSurfacePtr image = host.render(window);
    EXPECT_EQ(pixelAt(image.get(), 20, 30), kBlack);
    EXPECT_EQ(pixelAt(image.get(), 30, 30), kWhite);
}

TEST(Painting, WindowsFontNamesRenderChineseWithTheCjkFont) {
    for (const wchar_t* family : {L"微软雅黑", L"Microsoft YaHei", L"microsoft yahei"}) {
        const SkinUI::FontSpec font{family, 14};
        const SkinUI::FontResolution resolved = SkinUI::resolveFont(L"安装完成，请稍候", font);
        EXPECT_EQ(resolved.family, "WenQuanYi Micro Hei");
        EXPECT_EQ(resolved.unknownGlyphs, 0) << "no character drawn as a box";
    }
    const SkinUI::FontSpec font{L"微软雅黑", 16};
    const int one = SkinUI::measureTextWidth(L"中文", font);
    EXPECT_GE(one, 30);  // two full-width characters of 16 px
    EXPECT_LE(one, 34);
    EXPECT_NEAR(SkinUI::measureTextWidth(L"中文中文", font), 2 * one, 1);
    EXPECT_GT(SkinUI::measureTextWidth(L"中文", {L"微软雅黑", 32}), one);
}

TEST(Painting, TextIsDrawnAlignedWrappedAndUnderlined) {
    SkinUI::HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(R"(<Window size="120,150">
      <Font id="0" name="微软雅黑" size="16" default="true"/>
      <Font id="1" name="微软雅黑" size="16" underline="true"/>
      <VerticalLayout bkcolor="#FFFFFFFF">
        <Label height="30" text="中文" align="right"/>
        <Label height="30" text="中文" align="center" textpadding="0,0,0,0"/>
        <Label height="60" text="一二三四五六七八九十" multiline="true" valign="top"/>
        <Label height="30" text="__" font="1" align="left"/>
      </VerticalLayout></Window>)"));
    const SkinUI::CairoSurfacePtr image = host.render(window);
    cairo_surface_t* s = image.get();

    EXPECT_EQ(darkPixels(s, {0, 0, 80, 30}), 0) << "right-aligned text stays right";
    EXPECT_GT(darkPixels(s, {85, 0, 120, 30}), 20);
    EXPECT_EQ(darkPixels(s, {0, 30, 40, 60}), 0) << "centred text leaves both sides";
    EXPECT_EQ(darkPixels(s, {80, 30, 120, 60}), 0);
    EXPECT_GT(darkPixels(s, {40, 30, 80, 60}), 20);
    // Ten characters of 16 px do not fit 120 px: a second line below the first.
    EXPECT_GT(darkPixels(s, {0, 60, 120, 80}), 20);
    EXPECT_GT(darkPixels(s, {0, 82, 120, 100}), 20);
}

TEST(ImagePaths, RefusesAbsoluteNamesAndClimbingOut) {
    const struct {
        const wchar_t* name;
        bool refused;
    } cases[] = {
        {L"res\\mainWnd\\bg1.png", false},
        {L"res/common/closebtn4.png", false},
        {L"res/a..b.png", false},
        {L"../x.png", true},
        {L"..\\x.png", true},
        {L"res/../../x.png", true},
        {L"res\\..", true},
        {L"/etc/x.png", true},
        {L"\\x.png", true},
        {L"C:\\x.png", true},
        {L"", true},
    };
    for (const auto& expected : cases) {
        EXPECT_EQ(SkinUI::isRefusedImagePath(expected.name), expected.refused)
            << testing::PrintToString(std::wstring(expected.name));
    }
}

// Images the archive lacks are read below the executable's folder, never from the current
// folder and never from above the executable's folder.
TEST(ImagePaths, ReadsMissingArchiveImagesBesideTheExecutableOnly) {
    const std::filesystem::path exeFolder =
        std::filesystem::path(platform::modulePath()).parent_path();
    const std::string unique = "tk-images-" + std::to_string(getpid());
    const std::filesystem::path beside = exeFolder / unique;
    std::filesystem::create_directories(beside);
    std::ofstream(beside / "beside.png", std::ios::binary) << pngBytes(2, 2, kGreen);
    std::ofstream(exeFolder.parent_path() / (unique + ".png"), std::ios::binary)
        << pngBytes(2, 2, kGreen);
    test_support::TempFolder current;
    current.write("cwd.png", pngBytes(2, 2, kGreen));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(current.path());

    SkinUI::registerResourceArchive(nullptr);
    SkinUI::ImageCache images;
    const bool besideFound =
        images.get(L"" + beside.filename().wstring() + L"\\beside.png") != nullptr;
    const bool aboveFound =
        images.get(L"../" + std::filesystem::path(unique + ".png").wstring()) != nullptr;
    const bool cwdFound = images.get(L"cwd.png") != nullptr;

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(beside);
    std::filesystem::remove(exeFolder.parent_path() / (unique + ".png"));
    EXPECT_TRUE(besideFound);
    EXPECT_FALSE(aboveFound);
    EXPECT_FALSE(cwdFound);
}

}  // namespace

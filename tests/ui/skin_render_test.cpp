#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "toolkit/cairo_handles.h"
#include "toolkit/headless_host.h"
#include "toolkit/label.h"
#include "toolkit/progress.h"
#include "toolkit/tab_layout.h"
#include "ui/installer_frame.h"
#include "ui/skin_frame.h"

namespace {

namespace fs = std::filesystem;
using SkinUI::CairoSurfacePtr;
using SkinUI::HeadlessHost;

const fs::path kGoldenFolder = BRIVANO_GOLDEN_DIR;
const fs::path kDocsFolder = BRIVANO_DOCS_DIR;
// A pixel differs when one of its channels is off by more than this; a render matches when at
// most this share of its pixels differ (font hinting may move a few edge pixels).
constexpr int kChannelTolerance = 24;
constexpr double kDifferingShare = 0.005;
// The installing animation shows its eighth frame after this long.
constexpr std::uint32_t kAnimationMs = 240;
constexpr int kInstallingPercent = 35;

using Frame = ui_test::InstallerFrame;

// What the main window shows on each page: its background, the title bar's page, the buttons of
// the title bar, and on the installing page some progress.
void showPage(Frame& frame, int page) {
    static const wchar_t* const kBackgrounds[] = {
        LR"(res\mainWnd\bg1.png)", LR"(res\mainWnd\bg2.png)", LR"(res\mainWnd\bg3.png)",
        LR"(res\mainWnd\bg4.png)"};
    static const int kTitlePages[] = {1, 1, 1, 2};
    frame.findControl<SkinUI::TabLayout>(L"mainTabLt")->selectItem(page, false);
    frame.findControl<SkinUI::TabLayout>(L"titleTabLt")->selectItem(kTitlePages[page], false);
    frame.findControl(L"winCtn")->setBkImage(kBackgrounds[page]);
    frame.findControl(L"titleGrpCtn")->setVisible(page != 2);
    frame.findControl(L"backBtn")->setVisible(page == 1);
    if (page == 1) {
        frame.findControl(L"installDirEdit")->setText(L"/opt/BrivanoPhotoEditor");
    }
    if (page == 2) {
        frame.findControl<SkinUI::Progress>(L"installPrg")->setValue(kInstallingPercent);
        frame.findControl(L"progressLb")
            ->setText(L"正在安装中:" + std::to_wstring(kInstallingPercent) + L"%，请稍候...");
    }
}

// Differing pixels of two renders, or -1 when their sizes differ.
long differingPixels(cairo_surface_t* a, cairo_surface_t* b) {
    cairo_surface_flush(a);
    cairo_surface_flush(b);
    const int width = cairo_image_surface_get_width(a);
    const int height = cairo_image_surface_get_height(a);
    if (width != cairo_image_surface_get_width(b) || height != cairo_image_surface_get_height(b)) {
        return -1;
    }
    long differing = 0;
    for (int y = 0; y < height; ++y) {
        const auto* rowA = cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a);
        const auto* rowB = cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b);
        for (int x = 0; x < width * 4; x += 4) {
            for (int channel = 0; channel < 4; ++channel) {
                if (std::abs(rowA[x + channel] - rowB[x + channel]) > kChannelTolerance) {
                    ++differing;
                    break;
                }
            }
        }
    }
    return differing;
}

// Compares with the checked-in picture; BRIVANO_UPDATE_GOLDEN=1 writes the render there instead.
void expectMatchesGolden(cairo_surface_t* render, const std::string& name) {
    const fs::path golden = kGoldenFolder / (name + ".png");
    if (std::getenv("BRIVANO_UPDATE_GOLDEN")) {
        ASSERT_EQ(cairo_surface_write_to_png(render, golden.c_str()), CAIRO_STATUS_SUCCESS);
        return;
    }
    const CairoSurfacePtr expected(cairo_image_surface_create_from_png(golden.c_str()));
    ASSERT_EQ(cairo_surface_status(expected.get()), CAIRO_STATUS_SUCCESS) << golden;
    const CairoSurfacePtr converted(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(expected.get()),
        cairo_image_surface_get_height(expected.get())));
    const SkinUI::CairoPtr cr(cairo_create(converted.get()));
    cairo_set_source_surface(cr.get(), expected.get(), 0, 0);
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr.get());
    const long differing = differingPixels(render, converted.get());
    const long pixels = static_cast<long>(cairo_image_surface_get_width(render)) *
                        cairo_image_surface_get_height(render);
    EXPECT_GE(differing, 0) << name << ": size differs";
    EXPECT_LE(differing, static_cast<long>(kDifferingShare * pixels))
        << name << ": " << differing << " pixels differ (run with BRIVANO_UPDATE_GOLDEN=1 and "
        << "look at the new picture if the change is intended)";
}

// The four pages side by side, two by two, for the documentation.
void writeOverview(const std::vector<CairoSurfacePtr>& pages) {
    constexpr int kGap = 16;
    const int width = cairo_image_surface_get_width(pages[0].get());
    const int height = cairo_image_surface_get_height(pages[0].get());
    const CairoSurfacePtr sheet(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, 2 * width + 3 * kGap, 2 * height + 3 * kGap));
    const SkinUI::CairoPtr cr(cairo_create(sheet.get()));
    cairo_set_source_rgb(cr.get(), 0.93, 0.94, 0.96);
    cairo_paint(cr.get());
    for (std::size_t page = 0; page < pages.size(); ++page) {
        const int x = kGap + static_cast<int>(page % 2) * (width + kGap);
        const int y = kGap + static_cast<int>(page / 2) * (height + kGap);
        cairo_set_source_surface(cr.get(), pages[page].get(), x, y);
        cairo_paint(cr.get());
    }
    cairo_surface_write_to_png(sheet.get(), (kDocsFolder / "main-window-pages.png").c_str());
}

TEST(SkinRender, MainWindowPagesMatchTheirPictures) {
    HeadlessHost host;
    Frame frame(host, L"MainWnd.xml");
    ASSERT_TRUE(frame.createFrame());
    host.advanceClock(kAnimationMs);
    std::vector<CairoSurfacePtr> pages;
    for (int page = 0; page < 4; ++page) {
        SCOPED_TRACE(page);
        showPage(frame, page);
        pages.push_back(host.render(frame));
        expectMatchesGolden(pages.back().get(), "mainWnd-page" + std::to_string(page));
    }
    if (std::getenv("BRIVANO_UPDATE_GOLDEN")) {
        writeOverview(pages);
    }
}

TEST(SkinRender, PromptsMatchTheirPictures) {
    HeadlessHost host;
    for (const std::wstring layout :
         {L"MessageBox1Wnd.xml", L"MessageBox2Wnd.xml", L"exitTipWnd.xml", L"NetworkTipWnd.xml",
          L"InstalledPathTipWnd.xml"}) {
        const std::string name = platform::utf8FromWide(layout.substr(0, layout.rfind(L'.')));
        SCOPED_TRACE(name);
        Frame frame(host, layout);
        ASSERT_TRUE(frame.createFrame());
        // The message boxes show what they are given; these are typical texts.
        if (auto* caption = frame.findControl(L"captionLbl")) {
            caption->setText(L"温馨提示");
        }
        if (auto* text = frame.findControl(L"textLbl")) {
            text->setText(L"安装程序检测到Brivano\r\n正在运行，请退出程序后再安装");
        }
        expectMatchesGolden(host.render(frame).get(), name);
    }
}

}  // namespace

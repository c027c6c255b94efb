#include "ui/skin_frame.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/text_encoding.h"
#include "support/child_process.h"
#include "toolkit/headless_host.h"
#include "toolkit/resource_archive.h"
#include "ui/installer_frame.h"
#include "ui/skin_archive.h"

namespace {

using SkinUI::HeadlessHost;

using Frame = ui_test::InstallerFrame;

TEST(SkinFrame, ParamsNameTheLayoutInTheSkinArchive) {
    const FrameParams params = skinFrameParams(L"MessageBox2Wnd.xml");
    EXPECT_EQ(params.resourceKind, 4);
    EXPECT_EQ(params.resourceId, 147);
    EXPECT_EQ(params.skinFolder, L"");
    EXPECT_EQ(params.skinFile, L"MessageBox2Wnd.xml");
    EXPECT_EQ(params.windowClassName, L"MessageBox2Wnd");
    EXPECT_EQ(skinFrameParams(L"a.b.xml").windowClassName, L"a.b");
}

// Every installer window, built from the embedded skin: its shadow, its icon, Escape kept from
// closing it, and one decoded archive shared by all of them.
TEST(SkinFrame, BuildsEachInstallerWindowFromTheEmbeddedSkin) {
    const struct {
        const wchar_t* layout;
        SkinUI::Size size;
        int darkness;
        SkinUI::Color colour;
    } cases[] = {
        {L"MainWnd.xml", {600, 400}, 20, 0x26003B76},
        {L"MessageBox1Wnd.xml", {360, 180}, 20, 0x26003B76},
        {L"MessageBox2Wnd.xml", {360, 180}, 20, 0x26003B76},
        {L"ExitTipWnd.xml", {360, 180}, 20, 0x26003B76},
        {L"NetworkTipWnd.xml", {360, 180}, 20, 0x26003B76},
        {L"InstalledPathTipWnd.xml", {400, 180}, 10, 0xFFEDF0F4},
    };
    HeadlessHost host;
    std::shared_ptr<const SkinUI::ResourceArchive> archive;
    for (const auto& row : cases) {
        SCOPED_TRACE(platform::utf8FromWide(row.layout));
        Frame frame(host, row.layout);
        ASSERT_TRUE(frame.createFrame());
        if (!archive) {
            archive = SkinUI::registeredResourceArchive();
        }
        EXPECT_EQ(SkinUI::registeredResourceArchive(), archive) << "decoded once";
        EXPECT_EQ(frame.size(), row.size);
        ASSERT_TRUE(frame.dropShadow().has_value());
        EXPECT_EQ(frame.dropShadow()->size, 6);
        EXPECT_EQ(frame.dropShadow()->sharpness, 10);
        EXPECT_EQ(frame.dropShadow()->darkness, row.darkness);
        EXPECT_EQ(frame.dropShadow()->position.x, 1);
        EXPECT_EQ(frame.dropShadow()->position.y, 1);
        EXPECT_EQ(frame.dropShadow()->color, row.colour);
        ASSERT_TRUE(frame.shadow().has_value());
        EXPECT_EQ(frame.shadow()->color, row.colour);
        EXPECT_NE(frame.icon(), nullptr);

        host.pressKey(frame, SkinUI::Key::Escape);
        host.dispatchPending();
        EXPECT_TRUE(frame.isAlive());
    }
}

// A host that reports the system message box on the child's output before the process ends.
class ReportingHost : public HeadlessHost {
public:
    explicit ReportingHost(int out) : out_(out) {}
    void showSystemMessage(SkinUI::Window*, std::wstring_view text, std::wstring_view caption,
                           SkinUI::MessageIcon icon) override {
        const std::string line = platform::utf8FromWide(std::wstring(text)) + "|" +
                                 platform::utf8FromWide(std::wstring(caption)) + "|" +
                                 std::to_string(static_cast<int>(icon));
        (void)!write(out_, line.data(), line.size());
    }

private:
    int out_;
};

TEST(SkinFrame, ALayoutThatCannotBeLoadedEndsTheProcess) {
    const test_support::ChildRun run = test_support::runInChild([](int out) {
        // An unreadable skin registered first (in place of whatever an earlier test of this
        // process registered): every layout is then missing.
        SkinUI::registerResourceArchive(nullptr);
        const std::string garbage = "not a 7z archive";
        ui::registerSkinArchive(
            std::span(reinterpret_cast<const std::uint8_t*>(garbage.data()), garbage.size()));
        ReportingHost host(out);
        Frame frame(host, L"MainWnd.xml");
        frame.createFrame();
        return 0;
    });
    EXPECT_EQ(run.exitCode(), 1);
    EXPECT_EQ(run.output, "加载资源文件失败|SkinUI|" +
                              std::to_string(static_cast<int>(SkinUI::MessageIcon::Error)));
}

}  // namespace

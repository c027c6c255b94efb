#include "ui/message_box_wnd.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "toolkit/cairo_handles.h"
#include "toolkit/headless_host.h"
#include "ui/installer_environment.h"
#include "ui/installer_frame.h"

namespace {

using SkinUI::HeadlessHost;
using ui_test::PromptAnswerer;

std::string utf8(const std::wstring& text) {
    return platform::utf8FromWide(text);
}

// The main window's layout as the prompts' owner.
class PromptTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(owner_.createFrame());
        owner_.setPosition({200, 100});
        owner_.show();
    }

    std::int32_t show(const wchar_t* layout, const std::optional<std::wstring>& text = {},
                      const std::optional<std::wstring>& caption = {}) {
        return ShowPrompt(owner_, skinFrameParams(layout), text, caption);
    }

    HeadlessHost host_;
    ui_test::InstallerFrame owner_{host_, L"MainWnd.xml"};
};

// The answer says which button ended the prompt; a close that is not a click counts as the
// cancel button. The owner takes no input while the prompt is open and does again afterwards.
TEST_F(PromptTest, AnswerSaysWhichButtonEndedThePrompt) {
    const struct {
        const wchar_t* layout;
        const wchar_t* control;  // empty: closed without a click (Alt+F4)
        std::int32_t expected;
    } cases[] = {
        {kExitTipWnd, L"okBtn", kPromptOk},
        {kExitTipWnd, L"cancelBtn", kPromptCancel},
        {kExitTipWnd, L"closebtn", kPromptOther},
        {kNetworkTipWnd, L"okBtn", kPromptOk},
        {kNetworkTipWnd, L"cancelBtn", kPromptCancel},
        {kNetworkTipWnd, L"closebtn", kPromptOther},
        {kInstalledPathTipWnd, L"okBtn", kPromptOk},
        {kInstalledPathTipWnd, L"cancelBtn", kPromptCancel},
        {kInstalledPathTipWnd, L"closebtn", kPromptOther},
        {kInstalledPathTipWnd, L"", kPromptCancel},
        {kMessageBox1Wnd, L"closebtn", kPromptOther},
        {kMessageBox1Wnd, L"", kPromptCancel},
        {kMessageBox2Wnd, L"closebtn", kPromptOther},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(utf8(row.layout) + " " + utf8(row.control));
        const PromptAnswerer answerer(host_, {{row.control, {}}});
        EXPECT_EQ(show(row.layout), row.expected);
        ASSERT_EQ(answerer.seen().size(), 1u);
        EXPECT_EQ(answerer.seen()[0].layout, row.layout);
        EXPECT_FALSE(answerer.seen()[0].ownerEnabled);
        EXPECT_TRUE(owner_.isEnabled());
        EXPECT_EQ(host_.newestWindow(), &owner_) << "the prompt is gone";
        EXPECT_FALSE(host_.stalled());
    }
}

// The prompt is a window of its own titled "消息框", centred over its owner, and Escape (which
// would close a plain toolkit window) leaves it open.
TEST_F(PromptTest, EscapeLeavesThePromptOpen) {
    std::optional<std::uint64_t> promptId;
    bool aliveAfterEscape = false;
    host_.whenIdle([&] {
        SkinUI::Window* prompt = host_.newestWindow();
        ASSERT_NE(prompt, &owner_);
        promptId = prompt->id();
        EXPECT_EQ(prompt->title(), CMessageBoxWnd::kWindowText);
        EXPECT_TRUE(host_.isShown(*prompt));
        EXPECT_EQ(prompt->owner(), &owner_);
        EXPECT_EQ(prompt->position().x, 200 + (600 - prompt->size().width) / 2);
        EXPECT_EQ(prompt->position().y, 100 + (400 - prompt->size().height) / 2);
        host_.pressKey(*prompt, SkinUI::Key::Escape);
    });
    host_.whenIdle([&] {
        SkinUI::Window* prompt = host_.newestWindow();
        aliveAfterEscape = prompt != nullptr && prompt->id() == promptId && prompt->isAlive();
        ASSERT_NE(prompt, nullptr);
        host_.click(*prompt, L"cancelBtn");
    });
    EXPECT_EQ(show(kExitTipWnd), kPromptCancel);
    EXPECT_TRUE(aliveAfterEscape);
    EXPECT_FALSE(host_.stalled());
}

// A text or caption given replaces the layout's own, exactly as given (format characters and
// markup are plain text); what is not given stays as the layout has it. Tip windows have neither
// label and take the texts without complaint.
TEST_F(PromptTest, GivenTextsReplaceTheLayoutsOwn) {
    const struct {
        const char* name;
        const wchar_t* layout;
        std::optional<std::wstring> text;
        std::optional<std::wstring> caption;
        std::wstring shownText;
        std::wstring shownCaption;
    } cases[] = {
        {"nothing given", kMessageBox1Wnd, {}, {}, L"TEXT", L"CAPTION"},
        {"text only", kMessageBox1Wnd, L"无效路径", {}, L"无效路径", L"CAPTION"},
        {"caption only", kMessageBox2Wnd, {}, L"温馨提示", L"TEXT", L"温馨提示"},
        {"both, with format characters and markup", kMessageBox1Wnd, L"%s%n<b>100%</b>", L"消息%d",
         L"%s%n<b>100%</b>", L"消息%d"},
        {"an empty text", kMessageBox2Wnd, L"", L"", L"", L""},
        {"a tip window has no labels", kExitTipWnd, L"ignored", L"ignored", L"", L""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const PromptAnswerer answerer(host_, {{L"closebtn", {}}});
        EXPECT_EQ(show(row.layout, row.text, row.caption), kPromptOther);
        ASSERT_EQ(answerer.seen().size(), 1u);
        EXPECT_EQ(answerer.seen()[0].text, row.shownText);
        EXPECT_EQ(answerer.seen()[0].caption, row.shownCaption);
    }
}

// Rows of the area that carry text: separate bands of rows with dark pixels are separate lines.
int textLines(cairo_surface_t* surface, const SkinUI::Rect& area) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    constexpr int kDarkChannel = 0x90;
    int lines = 0;
    bool inLine = false;
    for (int y = area.top; y < area.bottom; ++y) {
        bool ink = false;
        for (int x = area.left; x < area.right && !ink; ++x) {
            const unsigned char* pixel = data + y * stride + x * 4;
            ink = pixel[0] < kDarkChannel && pixel[1] < kDarkChannel && pixel[2] < kDarkChannel;
        }
        lines += ink && !inLine ? 1 : 0;
        inLine = ink;
    }
    return lines;
}

TEST_F(PromptTest, LineBreakInTheTextStartsANewLine) {
    const struct {
        std::wstring text;
        int lines;
    } cases[] = {
        {L"安装程序检测到Brivano正在运行", 1},
        {L"安装程序检测到Brivano\r\n正在运行，请退出程序后再安装", 2},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(utf8(row.text));
        int lines = 0;
        host_.whenIdle([&] {
            SkinUI::Window* prompt = host_.newestWindow();
            ASSERT_NE(prompt, &owner_);
            prompt->updateLayout();
            const SkinUI::Control* label = prompt->findControl(L"textLbl");
            ASSERT_NE(label, nullptr);
            const SkinUI::CairoSurfacePtr image = host_.render(*prompt);
            lines = textLines(image.get(), label->rect());
            host_.click(*prompt, L"closebtn");
        });
        EXPECT_EQ(show(kMessageBox1Wnd, row.text, L"温馨提示"), kPromptOther);
        EXPECT_EQ(lines, row.lines);
    }
}

}  // namespace

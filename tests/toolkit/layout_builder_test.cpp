#include "toolkit/layout_builder.h"

#include <gtest/gtest.h>

#include "toolkit/check_box.h"
#include "toolkit/edit.h"
#include "toolkit/headless_host.h"
#include "toolkit/progress.h"
#include "toolkit/tab_layout.h"
#include "toolkit/toolkit_fixtures.h"

namespace {

using SkinUI::Rect;
using toolkit_test::RecordingWindow;

TEST(LayoutEngine, PlacesFixedFlexiblePaddedAndHiddenControls) {
    SkinUI::HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(R"(<Window size="200,100">
      <VerticalLayout name="root">
        <Control name="top" height="10"/>
        <HorizontalLayout name="row" height="30" padding="5,2,4,3">
          <Control name="left" width="40"/>
          <Control name="flexA"/>
          <Control name="flexB"/>
          <Label name="small" width="20" height="10"/>
        </HorizontalLayout>
        <Control name="fill"/>
        <Control name="hidden" height="7" visible="false"/>
        <Control name="bottom" pos="0,0,50,20"/>
      </VerticalLayout></Window>)"));
    window.updateLayout();

    const struct {
        const wchar_t* name;
        Rect rect;
    } cases[] = {
        {L"root", {0, 0, 200, 100}},    {L"top", {0, 0, 200, 10}},
        {L"row", {5, 12, 196, 42}},  // padding eats into its slot of 35
        {L"left", {5, 12, 45, 42}},     {L"flexA", {45, 12, 110, 42}},  // 131 px left over: 65 ...
        {L"flexB", {110, 12, 176, 42}},  // ... and the remainder to the last flexible one
        {L"small", {176, 12, 196, 22}},  // a fixed height across the row stays at the top
        {L"fill", {0, 45, 200, 80}},     // the hidden control takes no room
        {L"bottom", {0, 80, 50, 100}},   // pos fixes the size it spans
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(std::string(expected.name, expected.name + wcslen(expected.name)));
        const SkinUI::Control* control = window.findControl(expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->rect(), expected.rect);
    }

    // Showing the hidden control takes its 7 px from the flexible one.
    window.findControl(L"hidden")->setVisible(true);
    window.updateLayout();
    EXPECT_EQ(window.findControl(L"fill")->rect(), (Rect{0, 45, 200, 73}));
}

TEST(LayoutEngine, TabLayoutShowsOnePageAndReportsChangesWhenAsked) {
    SkinUI::HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(R"(<Window size="100,50">
      <TabLayout name="tabs">
        <Button name="page0"/><Button name="page1" padding="0,10,0,0"/><Button name="page2"/>
      </TabLayout></Window>)"));
    auto* tabs = window.findControl<SkinUI::TabLayout>(L"tabs");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentSel(), 0);
    EXPECT_TRUE(host.click(window, L"page0"));
    EXPECT_FALSE(host.click(window, L"page1")) << "a page that is not selected cannot be hit";

    EXPECT_TRUE(tabs->selectItem(2));
    EXPECT_TRUE(tabs->selectItem(2));  // already shown: no second notification
    EXPECT_TRUE(tabs->selectItem(1, false));
    EXPECT_FALSE(tabs->selectItem(3));
    EXPECT_EQ(tabs->currentSel(), 1);
    window.updateLayout();
    EXPECT_EQ(window.findControl(L"page1")->rect(), (Rect{0, 10, 100, 50}));
    EXPECT_TRUE(host.click(window, L"page1"));
    EXPECT_EQ(window.log,
              (std::vector<std::wstring>{L"click page0 0", L"tabselect tabs 2", L"click page1 0"}));
}

TEST(LayoutBuilder, ReadsWindowAttributesFontsAndTheControlVocabulary) {
    SkinUI::HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(R"(<?xml version="1.0" encoding="utf-8"?>
      <!-- every element and attribute the layouts write -->
      <Window size="360,180" caption="0,0,0,30" roundcorner="2,2" showshadow="true"
              shadowsize="6" shadowcolor="#26003B76" shadowposition="1,1">
        <Font id="0" name="微软雅黑" size="14" default="true"/>
        <Font id="3" name="微软雅黑" size="12" underline="true"/>
        <VerticalLayout name="root" bkcolor="#FFFFFFFF" bkimage="res\bg.png" width="480">
          <HorizontalLayout name="row" height="30" pos="0,0,0,30" bkcolor="0xFFF5FAFE">
            <TabLayout name="tabs" width="200"><Control/></TabLayout>
            <Label name="caption" text="温馨提示" font="3" textcolor="#FF666666" align="center"
                   valign="top" multiline="true" padding="10,0,0,0" textpadding="1,2,3,4"/>
          </HorizontalLayout>
          <Button name="ok" text="是" hottextcolor="0xFF8E9BFF" bordersize="1"
                  bordercolor="0xFF6A7BFF" borderround="1,2" hotborercolor="#FF5A9DFD"
                  normalimage="file='a.png' dest='0,3,15,17'" disabledimage="res\none.png"/>
          <CheckBox name="agree" selected="true" selectedtextcolor="#FF8991AF"/>
          <Edit name="dir" width="340" text="/opt/x" textpadding="9,0,9,3"/>
          <Progress name="bar" width="520" foreimage="fore.png" isstretchfore="false"/>
        </VerticalLayout>
      </Window>)"));

    EXPECT_EQ(window.size(), (SkinUI::Size{360, 180}));
    EXPECT_EQ(window.captionRect(), (Rect{0, 0, 0, 30}));
    EXPECT_EQ(window.roundCorner(), (SkinUI::Size{2, 2}));
    EXPECT_EQ(window.customAttribute(L"showshadow"), L"true");
    EXPECT_EQ(window.customAttribute(L"shadowcolor"), L"#26003B76");
    EXPECT_EQ(window.customAttribute(L"shadowposition"), L"1,1");
    EXPECT_EQ(window.customAttribute(L"size"), std::nullopt);
    EXPECT_EQ(window.customAttribute(L"shadowdarkness"), std::nullopt);

    EXPECT_EQ(window.font(3).sizePx, 12);
    EXPECT_TRUE(window.font(3).underline);
    EXPECT_EQ(window.font(0).family, L"微软雅黑");
    EXPECT_EQ(window.font(99).sizePx, 14) << "an unknown id falls back to the default font";

    const SkinUI::Control* caption = window.findControl(L"caption");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), L"温馨提示");
    EXPECT_EQ(caption->font(), 3);
    EXPECT_EQ(caption->textColor(), 0xFF666666u);
    EXPECT_EQ(caption->align(), SkinUI::HAlign::Center);
    EXPECT_EQ(caption->valign(), SkinUI::VAlign::Top);
    EXPECT_EQ(caption->padding(), (Rect{10, 0, 0, 0}));
    EXPECT_EQ(caption->textPadding(), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(window.findControl(L"root")->bkImage(), L"res\\bg.png");
    EXPECT_EQ(window.findControl(L"row")->bkColor(), 0xFFF5FAFEu);
    EXPECT_EQ(window.findControl(L"tabs")->fixedWidth(), 200);
    EXPECT_TRUE(window.findControl<SkinUI::CheckBox>(L"agree")->isSelected());
    EXPECT_EQ(window.findControl<SkinUI::Edit>(L"dir")->text(), L"/opt/x");
    EXPECT_EQ(window.findControl<SkinUI::Progress>(L"bar")->foreImage(), L"fore.png");
    EXPECT_EQ(window.initCount, 1);
    EXPECT_TRUE(window.log.empty()) << "building raises no notifications";
}

// A control the toolkit does not know, as a window's factory makes it.
class Sequence : public SkinUI::Label {
public:
    std::wstring_view className() const override { return L"SequenceLabel"; }
    Control* getInterface(std::wstring_view name) override {
        return name == L"SequenceLabel" ? this : Label::getInterface(name);
    }
    bool setAttribute(std::wstring_view name, std::wstring_view value) override {
        if (name == L"sequencecount") {
            count = std::stoi(std::wstring(value));
            return true;
        }
        return Label::setAttribute(name, value);
    }
    void init() override { initialised = true; }
    int count = 0;
    bool initialised = false;
};

TEST(LayoutBuilder, OffersUnknownElementsToTheFactoryAndSkipsWhatItRefuses) {
    SkinUI::HeadlessHost host;
    RecordingWindow window(host);
    std::vector<std::wstring> offered;
    window.factory = [&](std::wstring_view name) -> std::unique_ptr<SkinUI::Control> {
        offered.emplace_back(name);
        if (name == L"SequenceLabel") {
            return std::make_unique<Sequence>();
        }
        return nullptr;
    };
    ASSERT_TRUE(window.createFromXml(R"(<Window size="10,10"><VerticalLayout>
        <SequenceLabel name="anim" sequencecount="24" width="5"/>
        <Bogus name="bogus"><Label name="inside"/></Bogus>
        <Label name="after"/>
      </VerticalLayout></Window>)"));
    EXPECT_EQ(offered, (std::vector<std::wstring>{L"SequenceLabel", L"Bogus"}));

    SkinUI::Control* anim = window.findControl(L"anim");
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->className(), L"SequenceLabel");
    EXPECT_EQ(anim->getInterface(L"SequenceLabel"), anim);
    EXPECT_EQ(anim->getInterface(L"Label"), anim);
    EXPECT_EQ(anim->getInterface(L"Button"), nullptr);
    EXPECT_EQ(anim->fixedWidth(), 5) << "base attributes still reach the base";
    EXPECT_EQ(static_cast<Sequence*>(anim)->count, 24);
    EXPECT_TRUE(static_cast<Sequence*>(anim)->initialised);
    EXPECT_EQ(window.findControl(L"bogus"), nullptr);
    EXPECT_EQ(window.findControl(L"inside"), nullptr);
    EXPECT_NE(window.findControl(L"after"), nullptr);
}

TEST(LayoutBuilder, LoadsFromTheRegisteredArchiveAndRefusesBadLayouts) {
    const std::string minimal = R"(<Window size="10,10"><Control name="only"/></Window>)";
    // Exactly at the limit still loads: padding inside a trailing comment.
    std::string atLimit = minimal + "<!--";
    atLimit += std::string(SkinUI::kMaxLayoutBytes - atLimit.size() - 3, ' ') + "-->";

    toolkit_test::SkinFolder skin;
    skin.add("good.xml", minimal);
    skin.add("res/atLimit.xml", atLimit);
    skin.add("huge.xml", atLimit + " ");
    skin.add("empty.xml", "");
    skin.add("broken.xml", "<Window size=\"10,10\"><Control></Window>");
    skin.add("notWindow.xml", "<Dialog><Control/></Dialog>");
    skin.add("noControl.xml", "<Window size=\"10,10\"><Font id=\"0\" size=\"12\"/></Window>");
    skin.registerArchive();

    const struct {
        const wchar_t* name;
        SkinUI::LayoutError error;
    } cases[] = {
        {L"GOOD.xml", SkinUI::LayoutError::None},
        {L"res\\atlimit.xml", SkinUI::LayoutError::None},
        {L"missing.xml", SkinUI::LayoutError::NotFound},
        {L"huge.xml", SkinUI::LayoutError::TooLarge},
        {L"empty.xml", SkinUI::LayoutError::Empty},
        {L"broken.xml", SkinUI::LayoutError::NotXml},
        {L"notWindow.xml", SkinUI::LayoutError::NoRoot},
        {L"noControl.xml", SkinUI::LayoutError::NoRoot},
    };
    SkinUI::HeadlessHost host;
    for (const auto& expected : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(expected.name)));
        RecordingWindow window(host);
        EXPECT_EQ(window.create(expected.name), expected.error == SkinUI::LayoutError::None);
        EXPECT_EQ(window.layoutError(), expected.error);
        EXPECT_EQ(window.isAlive(), expected.error == SkinUI::LayoutError::None);
        EXPECT_EQ(window.initCount, expected.error == SkinUI::LayoutError::None ? 1 : 0);
    }

    SkinUI::registerResourceArchive(nullptr);
    RecordingWindow withoutArchive(host);
    EXPECT_FALSE(withoutArchive.create(L"good.xml"));
    EXPECT_EQ(withoutArchive.layoutError(), SkinUI::LayoutError::NotFound);
}

}  // namespace

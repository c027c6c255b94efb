#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/headless_host.h"
#include "toolkit/window.h"
#include "ui/sequence_button.h"
#include "ui/sequence_control_factory.h"
#include "ui/sequence_label.h"

namespace {

using SkinUI::CSequenceButtonUI;
using SkinUI::CSequenceLabelUI;
using SkinUI::HeadlessHost;

class AnimatedWindow : public SkinUI::Window {
public:
    using Window::Window;

protected:
    std::unique_ptr<SkinUI::Control> createControl(std::wstring_view elementName) override {
        return createSequenceControl(elementName);
    }
};

std::string layout(const std::string& element) {
    return R"(<Window size="100,100"><VerticalLayout>)" + element + "</VerticalLayout></Window>";
}

// The background images the control shows over `ticks` periods of `spanMs`.
std::vector<std::wstring> frames(HeadlessHost& host, const SkinUI::Control& control,
                                 std::uint32_t spanMs, int ticks) {
    std::vector<std::wstring> shown;
    for (int tick = 0; tick < ticks; ++tick) {
        host.advanceClock(spanMs);
        shown.push_back(control.bkImage());
    }
    return shown;
}

TEST(SequenceControls, PlayTheirPatternFromTheLayout) {
    const struct {
        const char* name;
        std::string element;
        std::uint32_t spanMs;
        std::vector<std::wstring> frames;
        bool timerLeft;
    } cases[] = {
        {"label wraps, 30 ms",
         R"(<SequenceLabel name="a" sequencebkimage="f\%.2d.png" sequencecount="3" )"
         R"(sequencespan="30" autostart="true"/>)",
         30,
         {L"f\\00.png", L"f\\01.png", L"f\\02.png", L"f\\00.png"},
         true},
        {"button plays ping-pong by default, 60 ms",
         R"(<SequenceButton name="a" sequencebkimage="b%d" sequencecount="3" AutoStart="yes"/>)",
         60,
         {L"b0", L"b1", L"b2", L"b1", L"b0", L"b1"},
         true},
        {"only the exact false ends a loop",
         R"(<SequenceLabel name="a" sequencebkimage="c%d" sequencecount="2" sequenceloop="FALSE" )"
         R"(autostart="true"/>)",
         30,
         {L"c0", L"c1", L"c0"},
         true},
        {"without loop it rests on the last frame",
         R"(<SequenceLabel name="a" sequencebkimage="d%d" sequencecount="2" sequenceloop="false" )"
         R"(autostart="true"/>)",
         30,
         {L"d0", L"d1", L"d1", L"d1"},
         false},
        {"an empty pattern changes nothing, the timer runs on",
         R"(<SequenceLabel name="a" bkimage="still.png" sequencecount="4" autostart="true"/>)",
         30,
         {L"still.png", L"still.png"},
         true},
        {"the pattern's attribute name is matched exactly",
         R"(<SequenceLabel name="a" SequenceBkImage="e%d" sequencecount="2" autostart="true"/>)",
         30,
         {L"", L""},
         true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        HeadlessHost host;
        AnimatedWindow window(host);
        ASSERT_TRUE(window.createFromXml(layout(row.element)));
        SkinUI::Control* control = window.findControl(L"a");
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(frames(host, *control, row.spanMs, static_cast<int>(row.frames.size())),
                  row.frames);
        EXPECT_EQ(host.hasTimer(*control, SequenceAnimation::kTimerId), row.timerLeft);
    }
}

TEST(SequenceControls, StartRestartsFromTheFirstFrameAndStopKeepsTheLastOne) {
    HeadlessHost host;
    AnimatedWindow window(host);
    ASSERT_TRUE(window.createFromXml(
        layout(R"(<SequenceLabel name="a" sequencebkimage="f%d" sequencecount="4"/>)")));
    auto* label = window.findControl<CSequenceLabelUI>(L"a");
    ASSERT_NE(label, nullptr);
    host.advanceClock(100);
    EXPECT_EQ(label->bkImage(), L"") << "no autostart";

    label->start();
    EXPECT_EQ(frames(host, *label, 30, 3), (std::vector<std::wstring>{L"f0", L"f1", L"f2"}));
    // A running timer keeps its rhythm: 20 ms later the next tick is still due at 30.
    host.advanceClock(10);
    label->start();
    host.advanceClock(20);
    EXPECT_EQ(label->bkImage(), L"f0");

    label->stop();
    host.advanceClock(300);
    EXPECT_EQ(label->bkImage(), L"f0");
    EXPECT_FALSE(host.hasTimer(*label, SequenceAnimation::kTimerId));
}

TEST(SequenceControls, AreMadeByTheFactoryAndKnowTheirClass) {
    const auto label = createSequenceControl(L"sequencelabel");
    const auto button = createSequenceControl(L"SEQUENCEBUTTON");
    ASSERT_NE(label, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(createSequenceControl(L"Sequence"), nullptr);
    EXPECT_EQ(label->className(), L"SequenceLabel");
    EXPECT_EQ(label->getInterface(L"SequenceLabel"), label.get());
    EXPECT_EQ(label->getInterface(L"sequencelabel"), nullptr) << "compared with case";
    EXPECT_EQ(label->getInterface(L"Label"), label.get());
    EXPECT_EQ(button->getInterface(L"SequenceButton"), button.get());
    EXPECT_EQ(button->getInterface(L"Button"), button.get());
}

}  // namespace

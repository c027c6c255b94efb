#include "toolkit/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "toolkit/check_box.h"
#include "toolkit/edit.h"
#include "toolkit/headless_host.h"
#include "toolkit/toolkit_fixtures.h"

namespace {

using SkinUI::HeadlessHost;
using toolkit_test::RecordingWindow;
using Log = std::vector<std::wstring>;

constexpr const char* kButtons = R"(<Window size="200,100"><VerticalLayout name="root">
    <HorizontalLayout height="30">
      <Button name="ok" text="OK"/><Button name="closebtn"/><Button name="minbtn"/>
      <Button name="off" enabled="false"/>
    </HorizontalLayout>
    <HorizontalLayout height="30">
      <CheckBox name="agree" selected="true"/><Edit name="dir" text="ab"/>
    </HorizontalLayout>
  </VerticalLayout></Window>)";

TEST(WindowInput, ClicksByNameRaiseClickAndToggleCheckBoxes) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    auto* agree = window.findControl<SkinUI::CheckBox>(L"agree");

    EXPECT_TRUE(host.click(window, L"ok"));
    EXPECT_TRUE(host.click(window, L"agree"));
    EXPECT_FALSE(agree->isSelected());
    EXPECT_TRUE(host.click(window, L"off")) << "hit, but a disabled button stays silent";
    agree->setSelected(true);
    agree->setSelected(true);  // unchanged: nothing raised
    agree->setSelected(false, false);
    EXPECT_FALSE(host.click(window, L"nosuchcontrol"));
    EXPECT_EQ(window.log, (Log{L"click ok 0", L"click agree 0", L"selectchanged agree 0",
                               L"selectchanged agree 1"}));
}

TEST(WindowInput, EditTakesFocusTypedTextAndEditingKeys) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    auto* edit = window.findControl<SkinUI::Edit>(L"dir");
    host.typeText(window, L"lost");  // nothing focused yet
    EXPECT_TRUE(host.click(window, L"dir"));
    EXPECT_TRUE(edit->isFocused());
    host.typeText(window, L"c安装");
    host.pressKey(window, SkinUI::Key::Backspace);
    host.pressKey(window, SkinUI::Key::Home);
    host.pressKey(window, SkinUI::Key::Delete);
    host.typeText(window, L"/");
    EXPECT_EQ(edit->text(), L"/bc安");
    edit->setText(L"/opt");
    host.typeText(window, L"/x");
    EXPECT_EQ(edit->text(), L"/opt/x");
}

TEST(WindowInput, EscapeClosesUnlessTheWindowConsumesIt) {
    HeadlessHost host;
    for (const bool consume : {false, true}) {
        RecordingWindow window(host);
        ASSERT_TRUE(window.createFromXml(kButtons));
        window.consumeEscape = consume;
        ASSERT_TRUE(host.click(window, L"dir"));  // a focused control does not see it either
        host.pressKey(window, SkinUI::Key::Escape);
        host.dispatchPending();
        EXPECT_EQ(window.isAlive(), consume);
        EXPECT_EQ(window.findControl<SkinUI::Edit>(L"dir")->text(), L"ab");
        if (!consume) {
            EXPECT_EQ(window.result(), SkinUI::kEscapeResult);
        }
    }
}

TEST(WindowInput, DefaultClickHandlingClosesAndMinimises) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    EXPECT_TRUE(host.click(window, L"minbtn"));
    EXPECT_EQ(host.minimizeCount(), 1);
    EXPECT_TRUE(host.click(window, L"closebtn"));
    EXPECT_TRUE(window.isAlive()) << "the close request is posted";
    host.dispatchPending();
    EXPECT_FALSE(window.isAlive());
    EXPECT_FALSE(host.click(window, L"ok"));
}

TEST(WindowPlacement, CentresOnTheScreenOrOverItsOwnerAndTakesAPngIcon) {
    HeadlessHost host;
    host.setScreenSize({1000, 800});
    RecordingWindow main(host);
    ASSERT_TRUE(main.createFromXml(kButtons));  // 200 x 100
    main.centre();
    EXPECT_EQ(main.position().x, 400);
    EXPECT_EQ(main.position().y, 350);
    RecordingWindow prompt(host);
    ASSERT_TRUE(prompt.createFromXml(R"(<Window size="100,50"><Control/></Window>)", &main));
    prompt.centre();
    EXPECT_EQ(prompt.position().x, 450);
    EXPECT_EQ(prompt.position().y, 375);

    const std::string png = toolkit_test::pngBytes(16, 16, 0xFF6A7BFF);
    EXPECT_TRUE(main.setIcon({png.begin(), png.end()}));
    EXPECT_NE(main.icon(), nullptr);
    EXPECT_FALSE(main.setIcon({png.begin(), png.begin() + 30}));
    EXPECT_EQ(main.icon(), nullptr);
}

TEST(WindowTimers, FireInOrderOnTheVirtualClockUntilKilled) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    SkinUI::Control* ok = window.findControl(L"ok");
    SkinUI::Control* root = window.root();
    std::vector<std::uint32_t> stamps;
    window.onNotify = [&](const SkinUI::Notification& notification) {
        stamps.push_back(notification.timeStamp - HeadlessHost::kClockStartMs);
        // The third tick of timer 7 stops it; timer 2100 restarts itself at 40 ms once.
        if (notification.sender == ok && stamps.size() == 4) {
            ok->killTimer(7);
        }
        if (notification.sender == root && notification.wParam == 2100 && stamps.size() < 3) {
            root->setTimer(2100, 40);
        }
    };
    ASSERT_TRUE(ok->setTimer(7, 30));
    ASSERT_TRUE(root->setTimer(2100, 50));
    ASSERT_TRUE(root->setTimer(11, 1000));
    root->killTimer(11);
    host.advanceClock(29);
    EXPECT_TRUE(window.log.empty());
    host.advanceClock(171);
    EXPECT_EQ(window.log, (Log{L"timer ok 7", L"timer root 2100", L"timer ok 7", L"timer ok 7",
                               L"timer root 2100", L"timer root 2100", L"timer root 2100"}));
    EXPECT_EQ(stamps, (std::vector<std::uint32_t>{30, 50, 60, 90, 90, 130, 170}));

    window.destroy(0);
    EXPECT_FALSE(host.hasTimer(*root, 2100)) << "a closed window's timers go with it";
    EXPECT_FALSE(root->setTimer(1, 10));
}

// The clock wraps at 32 bits: a period of half of it or more (-1 from a package means "never")
// must not come out as already due.
TEST(WindowTimers, LongestPeriodsAreCutInsteadOfFiringAtOnce) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    SkinUI::Control* root = window.root();
    ASSERT_TRUE(root->setTimer(10, 0xFFFFFFFF));
    ASSERT_TRUE(root->setTimer(11, 0x80000000));
    host.advanceClock(3'600'000);
    EXPECT_TRUE(window.log.empty());
    EXPECT_EQ(host.nextTimerDue(), host.nowMs() - 3'600'000 + SkinUI::Host::kMaxTimerPeriodMs);
}

// A control that animates itself from its own timer, as factory-made controls do.
class Ticking : public SkinUI::Label {
public:
    explicit Ticking(const Log& windowLog) : windowLog_(windowLog) {}
    void doEvent(const SkinUI::ControlEvent& event) override {
        Label::doEvent(event);
        if (event.type == SkinUI::ControlEvent::Type::Timer) {
            seen.push_back(std::to_wstring(event.timerId) + L" after " +
                           std::to_wstring(windowLog_.size()));
        }
    }
    Log seen;

private:
    const Log& windowLog_;
};

TEST(WindowTimers, ReachTheControlsOwnHandlerWhichRaisesTheNotification) {
    HeadlessHost host;
    RecordingWindow window(host);
    window.factory = [&](std::wstring_view) { return std::make_unique<Ticking>(window.log); };
    ASSERT_TRUE(window.createFromXml(
        R"(<Window size="10,10"><VerticalLayout><Ticker name="anim"/></VerticalLayout></Window>)"));
    auto* anim = dynamic_cast<Ticking*>(window.findControl(L"anim"));
    ASSERT_NE(anim, nullptr);
    ASSERT_TRUE(anim->setTimer(2100, 30));
    host.advanceClock(60);
    EXPECT_EQ(anim->seen, (Log{L"2100 after 1", L"2100 after 2"}));
    EXPECT_EQ(window.log, (Log{L"timer anim 2100", L"timer anim 2100"}));
}

TEST(WindowNotifications, SyncRunsAtOnceAndQueuedRunsInPostingOrder) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    SkinUI::Control* root = window.root();
    std::vector<SkinUI::Notification> seen;
    window.onNotify = [&](const SkinUI::Notification& notification) {
        seen.push_back(notification);
        if (notification.type == L"click") {
            window.sendNotify(root, L"checknet", 0x10000, -1, true);
            window.sendNotify(root, L"install", 1, 0, false);
            window.sendNotify(root, L"install", 0, 0, true);
        }
    };
    ASSERT_TRUE(host.click(window, L"ok"));
    EXPECT_EQ(window.log, (Log{L"click ok 0", L"install root 1"}));
    host.advanceClock(5);
    EXPECT_EQ(window.log,
              (Log{L"click ok 0", L"install root 1", L"checknet root 65536", L"install root 0"}));
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].lParam, -1);
    EXPECT_EQ(seen[2].timeStamp, HeadlessHost::kClockStartMs) << "stamped when raised";
}

// Counts its own destruction: shows whether a message's payload was freed.
struct CountedPayload : SkinUI::MessagePayload {
    explicit CountedPayload(std::atomic<int>& freed) : freed_(freed) {}
    ~CountedPayload() override { ++freed_; }
    std::atomic<int>& freed_;
};

TEST(WindowMessages, CloseRequestsCanBeRefusedAndLateMessagesAreFreedUnhandled) {
    HeadlessHost host;
    std::atomic<int> freed{0};
    SkinUI::WindowHandle handle;
    {
        RecordingWindow window(host);
        ASSERT_TRUE(window.createFromXml(kButtons));
        handle = window.handle();
        bool refuse = true;
        window.onMessage = [&](SkinUI::Message& message) {
            return message.id == SkinUI::kCloseMessage && refuse;
        };
        window.close(5);
        host.dispatchPending();
        EXPECT_TRUE(window.isAlive());
        refuse = false;
        window.close(6);
        window.postMessage(0x7E8, 0, 0, std::make_unique<CountedPayload>(freed));
        host.dispatchPending();
        EXPECT_FALSE(window.isAlive());
        EXPECT_EQ(window.result(), 6);
        EXPECT_EQ(window.log, (Log{L"message 16 5", L"message 16 6"}));
        EXPECT_EQ(freed.load(), 1);
    }
    EXPECT_TRUE(handle.postMessage(0x4C8, 0, 0, std::make_unique<CountedPayload>(freed)));
    host.dispatchPending();
    EXPECT_EQ(freed.load(), 2);
}

TEST(WindowMessages, PostsFromAnotherThreadArriveInOrderAlsoInsideNestedModalRuns) {
    constexpr int kCount = 500;
    HeadlessHost host;
    RecordingWindow main(host);
    ASSERT_TRUE(main.createFromXml(kButtons));
    std::vector<std::uintptr_t> received;
    int receivedWhilePrompting = 0;
    bool prompting = false;
    main.onMessage = [&](SkinUI::Message& message) {
        if (message.id == 0x7E8) {
            received.push_back(message.wParam);
            receivedWhilePrompting += prompting ? 1 : 0;
        }
        return true;
    };

    // The prompt opens modally from a click on the main window; a worker posts to the main
    // window meanwhile; the prompt's own loop must hand those over in order.
    int promptResult = -1;
    std::thread worker;
    main.onNotify = [&](const SkinUI::Notification& notification) {
        if (notification.type != L"click" || notification.sender->name() != L"ok") {
            return;
        }
        RecordingWindow prompt(host);
        ASSERT_TRUE(prompt.createFromXml(kButtons, &main));
        const SkinUI::WindowHandle target = main.handle();
        worker = std::thread([target] {
            for (int i = 0; i < kCount; ++i) {
                target.postMessage(0x7E8, static_cast<std::uintptr_t>(i));
            }
            target.postMessage(0x7E9);
        });
        prompt.onNotify = [&](const SkinUI::Notification&) {};
        main.onMessage = [&, previous = main.onMessage](SkinUI::Message& message) {
            if (message.id == 0x7E9) {
                EXPECT_FALSE(host.click(main, L"ok")) << "the owner is disabled while modal";
                EXPECT_TRUE(host.click(prompt, L"closebtn"));
            }
            return previous(message);
        };
        prompting = true;
        promptResult = prompt.showModal();
        prompting = false;
    };
    ASSERT_TRUE(host.click(main, L"ok"));
    worker.join();

    EXPECT_FALSE(host.stalled());
    EXPECT_EQ(promptResult, SkinUI::kCloseButtonResult);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(received[static_cast<std::size_t>(i)], static_cast<std::uintptr_t>(i));
    }
    EXPECT_EQ(receivedWhilePrompting, kCount);
    EXPECT_TRUE(host.click(main, L"agree")) << "the owner takes input again";
}

TEST(WindowMessages, QueuedNotificationsFromAWorkerReachTheWindowThread) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    std::thread worker([&] { window.sendNotify(window.root(), L"checknet", 0, 0, true); });
    worker.join();
    EXPECT_TRUE(window.log.empty());
    host.dispatchPending();
    EXPECT_EQ(window.log, (Log{L"checknet root 0"}));
}

TEST(PumpMessages, DispatchesForAWhileAndTellsWhetherTheWindowIsStillThere) {
    HeadlessHost host;
    RecordingWindow window(host);
    ASSERT_TRUE(window.createFromXml(kButtons));
    window.postMessage(0x500);
    ASSERT_TRUE(window.root()->setTimer(1, 60));
    EXPECT_TRUE(SkinUI::pumpMessages(host, &window));
    EXPECT_EQ(window.log, (Log{L"message 1280 0", L"timer root 1"}));
    EXPECT_EQ(host.nowMs(), HeadlessHost::kClockStartMs + 100);

    window.close(1);
    EXPECT_FALSE(SkinUI::pumpMessages(host, &window));
    EXPECT_TRUE(SkinUI::pumpMessages(host, nullptr));
    host.postQuit(0);
    EXPECT_FALSE(SkinUI::pumpMessages(host, nullptr));
}

}  // namespace

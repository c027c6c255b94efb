#include "toolkit/gtk_host.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/path.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/xdotool.h"
#include "toolkit/edit.h"
#include "toolkit/toolkit_fixtures.h"

namespace {

using test_support::Xdotool;
using toolkit_test::RecordingWindow;

constexpr std::uint32_t kGiveUpTimer = 99;
constexpr std::uint32_t kGiveUpMs = 15000;
constexpr int kGaveUp = -1;

// The real windows need a display: the test runs its *Child cases again in a copy of itself
// under a private X server.
TEST(GtkHost, RealWindowsWorkUnderXvfb) {
    // GLib's locks are futexes ThreadSanitizer cannot see, so its worker pools look racy; the
    // copy that runs GTK exempts GLib and GIO frames, this process stays strict.
    test_support::TempFolder folder;
    const std::string suppressions =
        folder.write("tsan.supp", "race:libglib-2.0.so.0\nrace:libgio-2.0.so.0\n");
    const char* tsanOptions = getenv("TSAN_OPTIONS");
    const test_support::ScopedEnv environment{
        {"NO_AT_BRIDGE", "1"},
        {"TSAN_OPTIONS",
         std::string(tsanOptions ? tsanOptions : "") + " suppressions=" + suppressions}};
    const test_support::ChildRun run =
        test_support::runProgram("/usr/bin/xvfb-run", {"-a", "-s", "-screen 0 1024x768x24",
                                                       platform::nativePath(platform::modulePath()),
                                                       "--gtest_filter=GtkHostChild.*"});
    EXPECT_EQ(run.exitCode(), 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 2 tests"), std::string::npos) << run.output;
}

TEST(GtkHostChild, ClickAndTypingReachTheWindowThroughTheDisplay) {
    if (getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "runs under RealWindowsWorkUnderXvfb";
    }
    const auto host = SkinUI::GtkHost::create();
    ASSERT_TRUE(host) << "no display";
    RecordingWindow window(*host);
    ASSERT_TRUE(window.createFromXml(R"(<Window size="300,200" caption="0,0,0,30">
      <VerticalLayout name="root" bkcolor="#FFFFFFFF">
        <Control height="30"/>
        <HorizontalLayout height="50">
          <Button name="ok" width="100" text="OK" bkcolor="#FF6A7BFF"/><Control/>
        </HorizontalLayout>
        <HorizontalLayout height="40">
          <Edit name="dir" width="200" bkcolor="#FFEEEEEE" textpadding="5,5,5,5"/><Control/>
        </HorizontalLayout>
        <Control/>
      </VerticalLayout></Window>)"));
    auto* edit = window.findControl<SkinUI::Edit>(L"dir");
    SkinUI::Control* root = window.root();
    std::unique_ptr<Xdotool> input;
    window.onNotify = [&](const SkinUI::Notification& notification) {
        if (notification.type != L"timer") {
            return;
        }
        if (notification.wParam == 1) {
            root->killTimer(1);
            // Window at (100,100): the button's centre is (150,155), the entry's (200,200).
            input = std::make_unique<Xdotool>(std::vector<std::string>{
                "mousemove", "150", "155", "click", "1", "sleep", "0.2", "mousemove", "200", "200",
                "click", "1", "sleep", "0.2", "type", "hello"});
        } else if (notification.wParam == 2 && edit->text() == L"hello") {
            window.close(7);
        } else if (notification.wParam == kGiveUpTimer) {
            window.close(kGaveUp);
        }
    };
    int paints = 0;
    host->setPaintObserver([&](SkinUI::Window& painted) { paints += &painted == &window; });
    window.setPosition({100, 100});
    root->setTimer(1, 300);
    root->setTimer(2, 50);
    root->setTimer(kGiveUpTimer, kGiveUpMs);
    EXPECT_EQ(window.showModal(), 7);
    EXPECT_EQ(std::count(window.log.begin(), window.log.end(), L"click ok 0"), 1);
    EXPECT_EQ(edit->text(), L"hello");
    EXPECT_GT(paints, 0);
}

TEST(GtkHostChild, ModalPromptKeepsHandlingMessagesPostedFromAWorker) {
    constexpr int kCount = 200;
    if (getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "runs under RealWindowsWorkUnderXvfb";
    }
    const auto host = SkinUI::GtkHost::create();
    ASSERT_TRUE(host) << "no display";
    const char* layout = R"(<Window size="200,100"><VerticalLayout name="root" bkcolor="#FFFFFFFF">
        <Button name="ok" height="30"/><Control/></VerticalLayout></Window>)";
    RecordingWindow main(*host);
    ASSERT_TRUE(main.createFromXml(layout));
    RecordingWindow prompt(*host);
    ASSERT_TRUE(prompt.createFromXml(layout, &main));
    std::vector<std::uintptr_t> received;
    std::thread worker;
    int promptResult = 0;
    main.onMessage = [&](SkinUI::Message& message) {
        if (message.id == 0x7E8) {
            received.push_back(message.wParam);
        } else if (message.id == 0x7E9) {
            prompt.close(3);
        }
        return message.id != SkinUI::kCloseMessage;
    };
    main.onNotify = [&](const SkinUI::Notification& notification) {
        if (notification.wParam == kGiveUpTimer) {
            prompt.close(kGaveUp);
            main.destroy(kGaveUp);
        } else if (notification.wParam == 1) {
            main.root()->killTimer(1);
            const SkinUI::WindowHandle target = main.handle();
            worker = std::thread([target] {
                for (int i = 0; i < kCount; ++i) {
                    target.postMessage(0x7E8, static_cast<std::uintptr_t>(i));
                }
                target.postMessage(0x7E9);
            });
            prompt.centre();
            promptResult = prompt.showModal();
            main.destroy(0);
        }
    };
    main.show();
    main.root()->setTimer(1, 100);
    main.root()->setTimer(kGiveUpTimer, kGiveUpMs);
    host->runLoop([&] { return main.isAlive(); });
    worker.join();
    EXPECT_EQ(promptResult, 3);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(received[static_cast<std::size_t>(i)], static_cast<std::uintptr_t>(i));
    }
}

}  // namespace

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/path.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/xdotool.h"
#include "toolkit/gtk_host.h"
#include "ui/installer_frame.h"

namespace {

using test_support::Xdotool;

constexpr std::uint32_t kActTimer = 1;
constexpr std::uint32_t kCheckTimer = 2;
constexpr std::uint32_t kGiveUpTimer = 99;
constexpr std::uint32_t kActAfterMs = 300;
constexpr std::uint32_t kCheckEveryMs = 50;
constexpr std::uint32_t kGiveUpMs = 15000;
constexpr int kDone = 7;
constexpr int kGaveUp = -1;
constexpr std::uint32_t kPipelineEvent = 0x7E8;
constexpr std::uint32_t kWorkerFinished = 0x7E9;
// Where the main window's client area sits on the 1024x768 screen.
constexpr SkinUI::Point kMainWindowAt{100, 100};

// An installer window that lets a test see its notifications, messages and keys.
class InstallerWindow : public ui_test::InstallerFrame {
public:
    using InstallerFrame::InstallerFrame;

    std::function<void(const SkinUI::Notification&)> onNotify;
    std::function<bool(SkinUI::Message&)> onMessage;
    std::vector<SkinUI::Key> keys;

    // Where a user has to point to hit the control, in screen pixels.
    SkinUI::Point screenCentreOf(std::wstring_view name) {
        updateLayout();
        const SkinUI::Control* control = findControl(name);
        const SkinUI::Point centre = control ? control->rect().centre() : SkinUI::Point{};
        return {position().x + centre.x, position().y + centre.y};
    }

protected:
    void notify(const SkinUI::Notification& notification) override {
        if (onNotify) {
            onNotify(notification);
        }
        InstallerFrame::notify(notification);
    }
    bool handleMessage(SkinUI::Message& message) override {
        return (onMessage && onMessage(message)) || InstallerFrame::handleMessage(message);
    }
    bool preFilterKey(SkinUI::Key key) override {
        keys.push_back(key);
        return InstallerFrame::preFilterKey(key);
    }
};

std::vector<std::string> clickAt(SkinUI::Point point) {
    return {"mousemove", std::to_string(point.x), std::to_string(point.y), "click", "1"};
}

// How xprop describes the window-manager icon of the X window GTK made for this process.
std::string iconPropertyOfOwnWindow() {
    const test_support::ChildRun search = test_support::runProgram(
        "/usr/bin/xdotool", {"search", "--onlyvisible", "--pid", std::to_string(getpid())});
    const std::string window = search.output.substr(0, search.output.find('\n'));
    if (window.empty()) {
        return "no window of pid " + std::to_string(getpid());
    }
    return test_support::runProgram("/usr/bin/xprop",
                                    {"-id", window, "-notype", "-len", "8", "_NET_WM_ICON"})
        .output;
}

// The real windows need a display: the test runs its *Child cases again in a copy of itself
// under a private X server.
TEST(MainWindowXvfb, RealWindowsWorkUnderXvfb) {
    const test_support::ScopedEnv environment{{"NO_AT_BRIDGE", "1"}};
    const test_support::ChildRun run =
        test_support::runProgram("/usr/bin/xvfb-run", {"-a", "-s", "-screen 0 1024x768x24",
                                                       platform::nativePath(platform::modulePath()),
                                                       "--gtest_filter=MainWindowXvfbChild.*"});
    EXPECT_EQ(run.exitCode(), 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 2 tests"), std::string::npos) << run.output;
}

// The main window on the display: a user's click on the install button reaches the window as
// its "click", the display carries the installer's icon, and Escape leaves the window open.
TEST(MainWindowXvfbChild, InstallClickArrivesAndEscapeKeepsTheWindowOpen) {
    if (getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "runs under RealWindowsWorkUnderXvfb";
    }
    const auto host = SkinUI::GtkHost::create();
    ASSERT_TRUE(host) << "no display";
    InstallerWindow window(*host, L"MainWnd.xml");
    ASSERT_TRUE(window.createFrame());
    EXPECT_NE(window.icon(), nullptr);
    ASSERT_TRUE(window.shadow().has_value());
    EXPECT_EQ(window.shadow()->sizePx, 6);
    EXPECT_EQ(window.shadow()->darkness, 20);
    EXPECT_EQ(window.shadow()->color, 0x26003B76U);
    const SkinUI::Control* installButton = window.findControl(L"defaultInstallBtn");
    ASSERT_NE(installButton, nullptr);
    window.setPosition(kMainWindowAt);
    const SkinUI::Point target = window.screenCentreOf(L"defaultInstallBtn");

    std::vector<const SkinUI::Control*> clickSenders;
    std::string iconProperty;
    std::unique_ptr<Xdotool> input;
    SkinUI::Control* root = window.root();
    bool painted = false;
    host->setPaintObserver([&](SkinUI::Window& which) { painted |= &which == &window; });
    window.onNotify = [&](const SkinUI::Notification& notification) {
        if (notification.type == L"click") {
            clickSenders.push_back(notification.sender);
        }
        if (notification.type != L"timer") {
            return;
        }
        const bool escapeSeen =
            std::count(window.keys.begin(), window.keys.end(), SkinUI::Key::Escape) > 0;
        if (notification.wParam == kActTimer && painted) {
            root->killTimer(kActTimer);
            iconProperty = iconPropertyOfOwnWindow();
            std::vector<std::string> arguments = clickAt(target);
            arguments.insert(arguments.end(), {"sleep", "0.2", "key", "Escape"});
            input = std::make_unique<Xdotool>(arguments);
        } else if (notification.wParam == kCheckTimer && !clickSenders.empty() && escapeSeen) {
            // An Escape that closed the window would have posted its close ahead of this one.
            window.close(kDone);
        } else if (notification.wParam == kGiveUpTimer) {
            window.close(kGaveUp);
        }
    };
    root->setTimer(kActTimer, kActAfterMs);
    root->setTimer(kCheckTimer, kCheckEveryMs);
    root->setTimer(kGiveUpTimer, kGiveUpMs);
    EXPECT_EQ(window.showModal(), kDone);
    EXPECT_EQ(clickSenders, std::vector<const SkinUI::Control*>{installButton});
    EXPECT_NE(iconProperty.find("Icon (256 x 256)"), std::string::npos) << iconProperty;
}

// A prompt over the main window runs its own modal loop; the main window keeps handling the
// numbered pipeline messages a worker posts meanwhile, in posting order, and the prompt ends
// with the result of its close button.
TEST(MainWindowXvfbChild, PromptRunsModallyWhileTheMainWindowReceivesPostedMessages) {
    constexpr int kCount = 200;
    if (getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "runs under RealWindowsWorkUnderXvfb";
    }
    const auto host = SkinUI::GtkHost::create();
    ASSERT_TRUE(host) << "no display";
    InstallerWindow main(*host, L"MainWnd.xml");
    ASSERT_TRUE(main.createFrame());
    InstallerWindow prompt(*host, L"MessageBox1Wnd.xml");
    ASSERT_TRUE(prompt.createFrame(&main));
    main.setPosition(kMainWindowAt);

    std::vector<std::uintptr_t> received;
    int receivedOutsideThePrompt = 0;
    bool promptRunning = false;
    int promptResult = kDone;
    std::unique_ptr<Xdotool> input;
    std::jthread worker;
    bool workerFinished = false;
    bool promptPainted = false;
    // Once the worker is done and the prompt is on the screen, a user closes the prompt.
    const auto clickCloseWhenReady = [&] {
        if (workerFinished && promptPainted && !input) {
            input = std::make_unique<Xdotool>(clickAt(prompt.screenCentreOf(L"closebtn")));
        }
    };
    host->setPaintObserver([&](SkinUI::Window& which) {
        promptPainted |= &which == &prompt;
        clickCloseWhenReady();
    });
    main.onMessage = [&](SkinUI::Message& message) {
        if (message.id == kPipelineEvent) {
            received.push_back(message.wParam);
            receivedOutsideThePrompt += promptRunning ? 0 : 1;
            return true;
        }
        if (message.id == kWorkerFinished) {
            workerFinished = true;
            clickCloseWhenReady();
            return true;
        }
        return false;
    };
    main.onNotify = [&](const SkinUI::Notification& notification) {
        if (notification.type != L"timer") {
            return;
        }
        if (notification.wParam == kGiveUpTimer) {
            prompt.close(kGaveUp);
            main.destroy(kGaveUp);
        } else if (notification.wParam == kActTimer) {
            main.root()->killTimer(kActTimer);
            const SkinUI::WindowHandle target = main.handle();
            worker = std::jthread([target] {
                for (int i = 0; i < kCount; ++i) {
                    target.postMessage(kPipelineEvent, static_cast<std::uintptr_t>(i));
                }
                target.postMessage(kWorkerFinished);
            });
            prompt.centre();
            promptRunning = true;
            promptResult = prompt.showModal();
            promptRunning = false;
            main.destroy(0);
        }
    };
    main.show();
    main.root()->setTimer(kActTimer, kActAfterMs);
    main.root()->setTimer(kGiveUpTimer, kGiveUpMs);
    host->runLoop([&] { return main.isAlive(); });
    worker = {};

    EXPECT_EQ(promptResult, SkinUI::kCloseButtonResult);
    EXPECT_FALSE(prompt.isAlive());
    EXPECT_EQ(receivedOutsideThePrompt, 0);
    std::vector<std::uintptr_t> expected(kCount);
    for (int i = 0; i < kCount; ++i) {
        expected[static_cast<std::size_t>(i)] = static_cast<std::uintptr_t>(i);
    }
    EXPECT_EQ(received, expected);
}

}  // namespace

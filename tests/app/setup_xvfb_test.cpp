#include <cairo.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "collector/collector_server.h"
#include "demo_server/package_server.h"
#include "platform/path.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/wait.h"
#include "toolkit/headless_host.h"
#include "toolkit/tab_layout.h"
#include "ui/installer_frame.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using test_support::ChildRun;
using test_support::runProgram;
using test_support::waitUntil;

constexpr char kSetupPath[] = BRIVANO_SETUP_PATH;
constexpr char kDemoPackage[] = BRIVANO_DEMO_PACKAGE_PATH;
constexpr char kGoldenDir[] = BRIVANO_GOLDEN_DIR;
constexpr char kDemoScript[] = BRIVANO_DEMO_SCRIPT_PATH;
constexpr char kPackageName[] = "__Package_BrivanoPhotoEditor.exe";
constexpr int kFinishedPage = 3;
constexpr int kWindowWidthPx = 600;
constexpr int kWindowHeightPx = 400;
constexpr auto kWindowWait = std::chrono::seconds(15);
constexpr auto kInstallWait = std::chrono::seconds(30);
constexpr auto kEndWait = std::chrono::seconds(10);
constexpr auto kPageWait = std::chrono::seconds(5);
// Mean absolute difference per colour channel (0..255) a screenshot may show against the
// headless golden. The GTK window draws through the same cairo and pango code, so the quiet pages
// match (0 on this machine); the installing page's ring animation and percentage are caught at
// another moment than the golden's (about 1.4). The goldens of two different pages differ by 6 to
// 10, so either allowance still tells the pages apart.
constexpr double kQuietPageTolerance = 1.5;
constexpr double kInstallingPageTolerance = 3.0;

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Point& point) {
    return out << point.x << "," << point.y;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The demo script's click point for a button: a line `<name>="X Y"`.
std::optional<Point> scriptClickPoint(const std::string& name) {
    const std::regex line(name + "=\"([0-9]+) ([0-9]+)\"");
    std::smatch match;
    const std::string script = readFile(kDemoScript);
    if (!std::regex_search(script, match, line)) {
        return std::nullopt;
    }
    return Point{std::stoi(match[1]), std::stoi(match[2])};
}

// The main window's layout on the headless host, to tell where its buttons are.
class LayoutProbe : public ui_test::InstallerFrame {
public:
    using InstallerFrame::InstallerFrame;

    std::optional<Point> centreOf(std::wstring_view name, int page) {
        auto* tabs = findControl<SkinUI::TabLayout>(L"mainTabLt");
        const SkinUI::Control* control = findControl(name);
        if (tabs == nullptr || control == nullptr || !tabs->selectItem(page, false)) {
            return std::nullopt;
        }
        updateLayout();
        const SkinUI::Point centre = control->rect().centre();
        return Point{centre.x, centre.y};
    }
};

// The demo clicks fixed points of the window; they must be where the layout puts the buttons.
TEST(SetupXvfb, DemoScriptClicksTheButtonCentresOfTheLayout) {
    SkinUI::HeadlessHost host;
    LayoutProbe window(host, L"MainWnd.xml");
    ASSERT_TRUE(window.createFrame());
    EXPECT_EQ(scriptClickPoint("install_button_at"), window.centreOf(L"defaultInstallBtn", 0));
    EXPECT_EQ(scriptClickPoint("open_button_at"),
              window.centreOf(L"openProduceBtn", kFinishedPage));
}

// A started program that is stopped and reaped when the test leaves early.
class Process {
public:
    explicit Process(const std::vector<std::string>& argv) {
        std::vector<char*> pointers;
        for (const std::string& argument : argv) {
            pointers.push_back(const_cast<char*>(argument.c_str()));
        }
        pointers.push_back(nullptr);
        if (posix_spawn(&pid_, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) {
            pid_ = -1;
        }
    }
    ~Process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    // The exit status once the process ended within the limit.
    std::optional<int> waitForEnd(std::chrono::milliseconds limit) {
        int status = 0;
        const bool ended =
            waitUntil(limit, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
        if (!ended) {
            return std::nullopt;
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
};

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

struct Screen {
    Point window;  // the window's top-left corner on the screen

    void click(Point at) const {
        const ChildRun run =
            runProgram("/usr/bin/xdotool", {"mousemove", std::to_string(window.x + at.x),
                                            std::to_string(window.y + at.y), "click", "1"});
        EXPECT_EQ(run.exitCode(), 0) << run.output;
    }
    void shoot(const std::string& path) const {
        const ChildRun run =
            runProgram("/usr/bin/scrot",
                       {"--overwrite", "--autoselect",
                        std::to_string(window.x) + "," + std::to_string(window.y) + "," +
                            std::to_string(kWindowWidthPx) + "," + std::to_string(kWindowHeightPx),
                        path});
        EXPECT_EQ(run.exitCode(), 0) << run.output;
    }
};

struct SurfaceFree {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;

// Mean absolute difference per colour channel, or nothing when the pictures cannot be read or
// differ in size.
std::optional<double> meanDifference(const std::string& left, const std::string& right) {
    const Surface a(cairo_image_surface_create_from_png(left.c_str()));
    const Surface b(cairo_image_surface_create_from_png(right.c_str()));
    const auto readable = [](cairo_surface_t* surface) {
        return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    };
    if (!readable(a.get()) || !readable(b.get())) {
        return std::nullopt;
    }
    const int width = cairo_image_surface_get_width(a.get());
    const int height = cairo_image_surface_get_height(a.get());
    if (width != cairo_image_surface_get_width(b.get()) ||
        height != cairo_image_surface_get_height(b.get())) {
        return std::nullopt;
    }
    // Both as 32-bit pixels; the alpha byte is left out (the goldens are opaque RGB, a
    // screenshot may carry alpha or not).
    cairo_surface_flush(a.get());
    cairo_surface_flush(b.get());
    double total = 0;
    for (int y = 0; y < height; ++y) {
        const auto* rowA = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(a.get()) + y * cairo_image_surface_get_stride(a.get()));
        const auto* rowB = reinterpret_cast<const std::uint32_t*>(
            cairo_image_surface_get_data(b.get()) + y * cairo_image_surface_get_stride(b.get()));
        for (int x = 0; x < width; ++x) {
            for (const int shift : {0, 8, 16}) {
                total += std::abs(static_cast<int>((rowA[x] >> shift) & 0xFF) -
                                  static_cast<int>((rowB[x] >> shift) & 0xFF));
            }
        }
    }
    return total / (3.0 * width * height);
}

// Takes pictures until one looks like the golden (a page is on the screen some moments after the
// event that selects it, and a window may still be blank when it is mapped), at most for
// kPageWait; the last one is checked.
void expectPageLike(const Screen& screen, const std::string& shot, const std::string& golden,
                    double tolerance) {
    const std::string goldenPath = std::string(kGoldenDir) + "/" + golden;
    std::optional<double> difference;
    waitUntil(kPageWait, [&] {
        screen.shoot(shot);
        difference = meanDifference(shot, goldenPath);
        return difference && *difference < tolerance;
    });
    ASSERT_TRUE(difference.has_value()) << shot << " against " << golden;
    EXPECT_LT(*difference, tolerance) << shot << " against " << golden;
}

// The real installer on a private X server: the test runs its *Child case again in a copy of
// itself under xvfb-run, with the package server and the collector here, on loopback.
TEST(SetupXvfb, ClicksThroughTheRealWindowToTheLaunchedProduct) {
    test_support::TempFolder temp;
    for (const char* folder : {"home/.config", "home/.local/share", "tmp", "bin", "shots"}) {
        fs::create_directories(temp.path() / folder);
    }
    const ChildRun written = runProgram(kDemoPackage, {"--write=" + temp.file(kPackageName)});
    ASSERT_EQ(written.exitCode(), 0) << written.output;
    demo_server::PackageServer server;
    ASSERT_TRUE(server.start());
    const std::string packagePath = server.addDiskFile(kPackageName, temp.file(kPackageName));
    server.setPackage(packagePath);
    collector::CollectorServer collector;
    ASSERT_TRUE(collector.start());
    // The installer reads its configuration file from its own folder: a copy with the network
    // check off, since the loopback run needs no internet.
    fs::copy_file(kSetupPath, temp.path() / "bin/brivano-setup");
    temp.write("bin/PeltaInstallerConfig.ini", "[Install]\nIsCheckNet=false\n");

    const std::string startUrl = server.url(demo_server::kStartPagePath);
    const test_support::ScopedEnv env{{"HOME", temp.file("home")},
                                      {"XDG_CONFIG_HOME", temp.file("home/.config")},
                                      {"XDG_DATA_HOME", temp.file("home/.local/share")},
                                      {"XDG_CACHE_HOME", temp.file("home/.cache")},
                                      {"XDG_RUNTIME_DIR", std::nullopt},
                                      {"TMPDIR", temp.file("tmp")},
                                      {"NO_AT_BRIDGE", "1"},
                                      {"BRIVANO_COLLECTOR_URL", collector.url()},
                                      {"BRIVANO_DEBUG_LOG", temp.file("installer.log")},
                                      {"BRIVANO_SHELL_OPEN_LOG", temp.file("shell-open.log")},
                                      {"BRIVANO_DEMO_START_URL", startUrl},
                                      {"BRIVANO_DEMO_LAUNCH_LOG", temp.file("launched.log")},
                                      {"BRIVANO_E2E_FOLDER", temp.path().string()},
                                      {"BRIVANO_E2E_DOWNLOAD_URL", server.url("/software/327")}};

    const ChildRun run = runProgram(
        "/usr/bin/timeout",
        {"--kill-after=5", "60", "/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1024x768x24",
         platform::nativePath(platform::modulePath()), "--gtest_filter=SetupXvfbChild.*"});
    EXPECT_EQ(run.exitCode(), 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;

    // Installed into the default folder below the scratch data home, and launched from there.
    const std::string launched = temp.read("launched.log");
    const std::regex launchLine("launched (" + temp.file("home/.local/share") +
                                "/.+/BrivanoPhotoEditor\\.exe) pid [0-9]+ in .*\n");
    EXPECT_TRUE(std::regex_match(launched, launchLine)) << launched;
    // The start page went to the log, not to a browser, and the demo server serves it.
    EXPECT_EQ(temp.read("shell-open.log"), "open " + startUrl + "\n");
    httplib::Client client("127.0.0.1", server.port());
    const httplib::Result page = client.Get(demo_server::kStartPagePath);
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("Brivano 照片编辑器已安装"), std::string::npos) << page->body;
    EXPECT_FALSE(collector.records().empty()) << "no analytics record reached the collector";
}

TEST(SetupXvfbChild, InstallsThenLaunches) {
    const char* folderVariable = getenv("BRIVANO_E2E_FOLDER");
    if (folderVariable == nullptr || getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "runs under ClicksThroughTheRealWindowToTheLaunchedProduct";
    }
    const fs::path folder = folderVariable;
    const std::string shots = (folder / "shots").string();
    const std::optional<Point> installButton = scriptClickPoint("install_button_at");
    const std::optional<Point> openButton = scriptClickPoint("open_button_at");
    ASSERT_TRUE(installButton && openButton);

    Process setup({(folder / "bin/brivano-setup").string(),
                   std::string("-downloadurl=") + getenv("BRIVANO_E2E_DOWNLOAD_URL")});
    ASSERT_GT(setup.pid(), 0);
    std::string window;
    ASSERT_TRUE(waitUntil(kWindowWait, [&] {
        window = firstLine(runProgram("/usr/bin/xdotool", {"search", "--onlyvisible", "--pid",
                                                           std::to_string(setup.pid())})
                               .output);
        return !window.empty();
    })) << "no window";
    const std::string geometry =
        runProgram("/usr/bin/xdotool", {"getwindowgeometry", "--shell", window}).output;
    std::smatch corner;
    ASSERT_TRUE(std::regex_search(geometry, corner, std::regex("X=([0-9]+)\nY=([0-9]+)")))
        << geometry;
    const Screen screen{{std::stoi(corner[1]), std::stoi(corner[2])}};

    expectPageLike(screen, shots + "/page0.png", "mainWnd-page0.png", kQuietPageTolerance);

    // The installing page shows while the package downloads and installs, about half a second
    // here: long enough for several pictures.
    screen.click(*installButton);
    expectPageLike(screen, shots + "/page2.png", "mainWnd-page2.png", kInstallingPageTolerance);

    const std::string log = (folder / "installer.log").string();
    ASSERT_TRUE(waitUntil(kInstallWait, [&] {
        return readFile(log).find("INSTALL_SUCCESS") != std::string::npos;
    })) << readFile(log);
    expectPageLike(screen, shots + "/page3.png", "mainWnd-page3.png", kQuietPageTolerance);

    screen.click(*openButton);
    EXPECT_TRUE(waitUntil(kEndWait, [&] { return fs::exists(folder / "launched.log"); }))
        << "the product was not launched";
    const std::optional<int> status = setup.waitForEnd(kEndWait);
    ASSERT_TRUE(status.has_value()) << "the installer did not end";
    EXPECT_TRUE(WIFEXITED(*status)) << *status;
}

}  // namespace

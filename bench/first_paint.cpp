// How long a user waits for the installer's main window: the process starts, opens the display,
// unpacks the skin, builds the main window from its layout and shows it; the clock stops at the
// window's first paint. It measures a copy of itself that it starts, so the time before main
// counts too. Run it on a display, e.g. `xvfb-run -a build/bench/first_paint_bench`. A figure
// to read, not a test: one measurement per run, so run it a few times.
#include <errno.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "toolkit/gtk_host.h"
#include "ui/sequence_control_factory.h"
#include "ui/skin_archive.h"
#include "ui/skin_frame.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The launching copy passes the monotonic clock's reading just before it started this one:
// /proc/self/stat gives the start time only in 10 ms clock ticks, too coarse for this figure.
constexpr char kSpawnedAtVariable[] = "FIRST_PAINT_SPAWNED_AT_NS";

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::optional<Clock::time_point> spawnedAt() {
    const char* value = getenv(kSpawnedAtVariable);
    if (value == nullptr) {
        return std::nullopt;
    }
    try {
        return Clock::time_point(std::chrono::nanoseconds(std::stoll(value)));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Starts this program again with the stamp, so that everything the kernel and the dynamic
// linker do before main counts, and passes on the copy's exit code.
int runMeasuredCopy(char** argv) {
    const auto stamp =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count();
    setenv(kSpawnedAtVariable, std::to_string(stamp).c_str(), 1);
    pid_t copy = -1;
    if (posix_spawn(&copy, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    int status = 0;
    while (waitpid(copy, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The main window as the installer makes it: the frame plus the animated controls.
class MainWindow : public CSkinFrame {
public:
    explicit MainWindow(SkinUI::Host& host) : CSkinFrame(host, skinFrameParams(L"MainWnd.xml")) {}

protected:
    std::unique_ptr<SkinUI::Control> createControl(std::wstring_view elementName) override {
        return createSequenceControl(elementName);
    }
};

}  // namespace

int main(int, char** argv) {
    const Clock::time_point start = Clock::now();
    const std::optional<Clock::time_point> processStart = spawnedAt();
    if (!processStart) {
        return runMeasuredCopy(argv);
    }

    const std::unique_ptr<SkinUI::GtkHost> host = SkinUI::GtkHost::create();
    if (!host) {
        std::fprintf(stderr, "no display: run it under `xvfb-run -a`\n");
        return 1;
    }
    const Clock::time_point hostReady = Clock::now();
    // The step the first window's createFrame() takes before anything else; done here on its
    // own so that it can be timed, the frame then finds the archive registered.
    if (!ui::prepareSkinArchive()) {
        std::fprintf(stderr, "the program carries no skin archive\n");
        return 1;
    }
    const Clock::time_point decoded = Clock::now();

    std::optional<Clock::time_point> firstPaint;
    {
        MainWindow window(*host);
        if (!window.createFrame()) {
            std::fprintf(stderr, "the main window could not be created\n");
            return 1;
        }
        const Clock::time_point built = Clock::now();
        host->setPaintObserver([&](SkinUI::Window& painted) {
            if (&painted == &window && !firstPaint) {
                firstPaint = Clock::now();
            }
        });
        window.centre();
        window.show();
        host->runLoop([&] { return !firstPaint; });
        host->setPaintObserver(nullptr);

        std::printf("display opened in %.1f ms\n", millisecondsBetween(start, hostReady));
        std::printf("skin archive decoded in %.1f ms\n", millisecondsBetween(hostReady, decoded));
        std::printf("main window built in %.1f ms\n", millisecondsBetween(decoded, built));
    }
    std::printf("first paint %.1f ms after start\n", millisecondsBetween(start, *firstPaint));
    std::printf("first paint %.1f ms after the process started (%.1f ms before main)\n",
                millisecondsBetween(*processStart, *firstPaint),
                millisecondsBetween(*processStart, start));
    return 0;
}

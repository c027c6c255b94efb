#include "platform/screen_size.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/path.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

TEST(ScreenSize, WithoutUsableDisplayGivesZeroByZero) {
    struct Case {
        const char* name;
        std::optional<std::string> display;
        std::optional<std::string> waylandDisplay;
    };
    const Case cases[] = {
        {"none named", std::nullopt, ""},
        {"named but unreachable", ":987", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test_support::ScopedEnv env{{"DISPLAY", c.display},
                                          {"WAYLAND_DISPLAY", c.waylandDisplay}};
        const platform::ScreenSize size = platform::primaryScreenSize();
        EXPECT_EQ(size.width, 0);
        EXPECT_EQ(size.height, 0);
    }
}

// The screen is read in a copy of this program under a private X server.
TEST(ScreenSize, ReadsPrimaryMonitorUnderXvfb) {
    // GLib's locks are futexes ThreadSanitizer cannot see; the copy that opens the display exempts
    // GLib frames, this process stays strict.
    const test_support::TempFolder folder;
    const std::string suppressions =
        folder.write("tsan.supp", "race:libglib-2.0.so.0\nrace:libgio-2.0.so.0\n");
    const char* tsanOptions = std::getenv("TSAN_OPTIONS");
    const test_support::ScopedEnv env{{"WAYLAND_DISPLAY", std::nullopt},
                                      {"TSAN_OPTIONS", std::string(tsanOptions ? tsanOptions : "") +
                                                           " suppressions=" + suppressions}};
    const test_support::ChildRun run =
        test_support::runProgram("/usr/bin/xvfb-run", {"-a", "-s", "-screen 0 1280x720x24",
                                                       platform::nativePath(platform::modulePath()),
                                                       "--gtest_filter=ScreenSizeChild.*"});
    EXPECT_EQ(run.exitCode(), 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
}

TEST(ScreenSizeChild, PrimaryMonitorOfTheServer) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "runs under ReadsPrimaryMonitorUnderXvfb";
    }
    // The display opened for the first reading serves the second.
    for (int reading = 0; reading < 2; ++reading) {
        const platform::ScreenSize size = platform::primaryScreenSize();
        EXPECT_EQ(size.width, 1280);
        EXPECT_EQ(size.height, 720);
    }
    EXPECT_EQ(std::getenv("GDK_GL"), nullptr);
}

}  // namespace

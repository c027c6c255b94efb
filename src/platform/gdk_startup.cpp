#include "platform/gdk_startup.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace platform {

bool startGdkWithoutGl(const std::function<bool()>& start) {
    constexpr char kGlSwitch[] = "GDK_GL";
    const char* previous = std::getenv(kGlSwitch);
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    setenv(kGlSwitch, "disable", 1);
    const bool started = start();
    if (saved) {
        setenv(kGlSwitch, saved->c_str(), 1);
    } else {
        unsetenv(kGlSwitch);
    }
    return started;
}

}  // namespace platform

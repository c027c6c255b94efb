#pragma once

#include <functional>

namespace platform {

// Runs `start` (GDK's or GTK's start-up) with GDK's OpenGL probe switched off, and returns what
// it returns. Left alone, GDK probes OpenGL while it opens a display, which loads the GL stack and
// its software renderer (about 100 ms) although everything here draws with cairo. GDK reads the
// switch only while it starts, so the environment is put back right after: the programs the
// installer starts (the package, the product) see the environment they would have seen. Call it
// on the main thread before other threads read the environment.
bool startGdkWithoutGl(const std::function<bool()>& start);

}  // namespace platform

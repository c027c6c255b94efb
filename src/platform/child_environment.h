#pragma once

namespace platform {

// When running as root, removes LD_PRELOAD, LD_LIBRARY_PATH and LD_AUDIT from the process
// environment, so that programs the installer starts (the package, the old uninstaller, the
// product) cannot be made to load libraries from wherever the invoking user pointed. Called once
// at start-up, before any other thread exists.
void hardenChildEnvironment();

}  // namespace platform

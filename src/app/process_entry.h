#pragma once

#include <string>
#include <vector>

#include "app/entry_seams.h"
#include "settings/installer_settings.h"

// Exit code of a second installer started while one runs.
inline constexpr int kExitAnotherInstance = -1;

// The installer's process from start to end: hardens what child programs inherit, installs the
// crash filter, starts the HTTP library, takes the single-instance lock, starts analytics, applies
// the command line, runs the window, then shuts down in reverse. Returns the exit code: 0, or
// kExitAnotherInstance at once (nothing started, nothing shown) when another installer runs.
int runInstallerProcess(InstallerSettings& settings, const std::vector<std::wstring>& arguments,
                        const EntrySeams& seams);

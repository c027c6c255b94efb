#pragma once

#include <string>

#include "demo_package/program_file.h"

// The three ways the package's image runs once it has been written out.
namespace demo_package {

struct InstalledFile {
    const char* name;
    Role role;
};

inline constexpr char kProductFileName[] = "BrivanoPhotoEditor.exe";
inline constexpr char kUninstallerFileName[] = "uninst.ep";

// The package learns its start page from the environment the installer passes on: the page lives
// on the demo server, whose address is known only once it runs. Unset or empty: no start page.
inline constexpr char kStartUrlVariable[] = "BRIVANO_DEMO_START_URL";
// A file the product appends a line to each time it runs, so that a demo or a test can tell that
// the installer launched it even though the launched product's output goes nowhere.
inline constexpr char kLaunchLogVariable[] = "BRIVANO_DEMO_LAUNCH_LOG";

// What an installation puts into its folder, and all that an uninstallation may take away.
inline constexpr InstalledFile kInstalledFiles[] = {
    {kProductFileName, Role::Product},
    {kUninstallerFileName, Role::Uninstaller},
};

// Installs the demo product into the folder (created when missing) and reports in the install
// dialect. Returns the exit code.
int runInstall(const std::string& folder);

// Removes the demo product from the folder, and the folder once nothing else is left in it;
// reports in the uninstall dialect. Returns the exit code.
int runUninstall(const std::string& folder);

// What the installed demo product does: says what it is, and leaves its line in the launch log.
int runProduct();

}  // namespace demo_package

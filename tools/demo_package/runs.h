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

// What the installed demo product does: says what it is.
int runProduct();

}  // namespace demo_package

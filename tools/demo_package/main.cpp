// demo-package --write=PATH
//
// The demo product package. --write=PATH writes the package file: this program's own image, a
// deterministic filler that gives it the size of a real package, and a trailer. Run by the
// installer with the package command line (" /S ... /D=FOLDER") the package installs the demo
// product into FOLDER and speaks the install dialect on standard output; run with "_?=FOLDER" (as
// the installed "uninst.ep" is) it removes the product again and speaks the uninstall dialect.
// Install and uninstall are told apart by the arguments, never by the file name, because the
// installer runs the uninstaller from a copy under another name.
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo_package/program_file.h"
#include "demo_package/runs.h"

namespace {

using demo_package::Role;

constexpr char kUsage[] =
    "usage: demo-package --write=PATH\n"
    "  --write=PATH   write the demo product package (an executable) to PATH\n"
    "Run from the package file, the program installs or uninstalls the demo product:\n"
    "  PACKAGE /S -console=show ... /D=FOLDER        install into FOLDER\n"
    "  UNINSTALLER /S ... -console=show _?=FOLDER    uninstall from FOLDER\n";
constexpr int kUsageExitCode = 2;
constexpr int kFailedExitCode = 1;
// The multi-part downloader takes two parts from 21 MiB on; a package of this size is fetched
// the way a real one is.
constexpr std::uint64_t kPackageBytes = 22ull << 20;

// The value after `prefix` in the last argument that starts with it.
std::optional<std::string> argumentValue(const std::vector<std::string_view>& arguments,
                                         std::string_view prefix) {
    const auto found = std::find_if(arguments.rbegin(), arguments.rend(),
                                    [&](auto argument) { return argument.starts_with(prefix); });
    if (found == arguments.rend()) {
        return std::nullopt;
    }
    return std::string(found->substr(prefix.size()));
}

int writePackage(const std::string& path) {
    const std::optional<demo_package::OwnImage> image = demo_package::readOwnImage();
    if (!image) {
        std::cerr << "demo-package: cannot read this program's own image\n";
        return kFailedExitCode;
    }
    const std::uint64_t imageAndTrailer = image->bytes.size() + demo_package::kTrailerBytes;
    const std::uint64_t fillerBytes =
        imageAndTrailer < kPackageBytes ? kPackageBytes - imageAndTrailer : 0;
    const std::error_code error =
        demo_package::writeProgramFile(path, image->bytes, Role::Package, fillerBytes);
    if (error) {
        std::cerr << "demo-package: cannot write " << path << ": " << error.message() << "\n";
        return kFailedExitCode;
    }
    std::cout << "demo-package: wrote " << path << " (" << imageAndTrailer + fillerBytes
              << " bytes)\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (demo_package::ownRole() == Role::Product) {
        return demo_package::runProduct();
    }
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const std::optional<std::string> oldFolder = argumentValue(arguments, "_?=");
    const std::optional<std::string> folder = argumentValue(arguments, "/D=");
    const bool packageCommandLine =
        std::find(arguments.begin(), arguments.end(), "/S") != arguments.end();
    if (oldFolder || folder || packageCommandLine) {
        // An installer that stopped reading must not stop the job half way.
        signal(SIGPIPE, SIG_IGN);
        // Without "/D=" (the installer leaves it out for an empty folder) the install fails.
        return oldFolder ? demo_package::runUninstall(*oldFolder)
                         : demo_package::runInstall(folder.value_or(""));
    }
    const std::optional<std::string> packagePath = argumentValue(arguments, "--write=");
    if (arguments.size() == 1 && packagePath && !packagePath->empty()) {
        return writePackage(*packagePath);
    }
    const bool help = arguments.size() == 1 && arguments[0] == "--help";
    (help ? std::cout : std::cerr) << kUsage;
    return kUsageExitCode;
}

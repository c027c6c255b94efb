#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// The files this program writes are all its own executable image with a trailer appended: the
// kernel maps only what the ELF headers name, so the appended bytes never reach the running
// program, and the trailer tells a copy what it is and where the image ends.
namespace demo_package {

enum class Role : std::uint64_t {
    Tool = 0,         // the build output, without a trailer
    Package = 1,      // the product package: image, filler, trailer
    Product = 2,      // the installed demo product
    Uninstaller = 3,  // the installed "uninst.ep"
};

struct OwnImage {
    std::string bytes;  // the ELF image without filler and trailer
    Role role = Role::Tool;
};

// This program's image, read back from its own executable; nothing when that cannot be read.
std::optional<OwnImage> readOwnImage();

// The role the running executable's trailer names (Tool for a file without one).
Role ownRole();

// The role of a regular file that carries our trailer; nothing for a symbolic link, a missing
// file or a file that is not one of ours, so that the uninstaller never takes a stranger's file
// for the product.
std::optional<Role> roleOfFile(const std::string& path);

// Writes image, fillerBytes of deterministic filler and the trailer for `role` to `path`, mode
// 0755. The file appears complete or not at all: it is written under a temporary name in the
// same folder and renamed into place.
std::error_code writeProgramFile(const std::string& path, std::string_view image, Role role,
                                 std::uint64_t fillerBytes);

// Size of the trailer every written file ends with.
inline constexpr std::uint64_t kTrailerBytes = 24;

}  // namespace demo_package

#pragma once

#include <cstdint>

// The resources the installer carries in its executable, named as the windows ask for them. The
// assembly object skin_resources.S lists them under these types and ids.
namespace ui {

inline constexpr char kSkinArchiveResourceType[] = "ZIPRES";
inline constexpr std::uint32_t kSkinArchiveResourceId = 147;

inline constexpr char kWindowIconResourceType[] = "ICON";
inline constexpr std::uint32_t kWindowIconResourceId = 145;

}  // namespace ui

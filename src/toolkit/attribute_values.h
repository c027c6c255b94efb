#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "toolkit/geometry.h"

// Layout attribute values are plain ASCII numbers and keywords; reading them never depends on the
// process locale (the GTK host switches it after start-up).
namespace SkinUI {

std::optional<int> parseInt(std::wstring_view text);
// "l,t,r,b": missing trailing numbers count as 0, anything not a number gives nothing.
std::optional<Rect> parseRect(std::wstring_view text);
std::optional<Size> parseSize(std::wstring_view text);
// "#AARRGGBB" or "0xAARRGGBB" (also without prefix); six digits leave alpha at 0.
std::optional<Color> parseColor(std::wstring_view text);
// "true" in any case is true; everything else false.
bool parseBool(std::wstring_view text);

bool equalsAsciiNoCase(std::wstring_view a, std::wstring_view b);

}  // namespace SkinUI

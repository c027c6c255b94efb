#pragma once

#include <cairo.h>

#include <string>
#include <string_view>

#include "toolkit/geometry.h"

namespace SkinUI {

// A font as a layout declares it. Sizes are pixels, not points: the layouts were measured on a
// screen where one font unit is one pixel.
struct FontSpec {
    std::wstring family;
    int sizePx = 12;
    bool bold = false;
    bool underline = false;
    bool italic = false;
};

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Center, Bottom };

struct TextStyle {
    FontSpec font;
    Color color = 0xFF000000;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Center;
    bool multiline = false;
};

// The family the toolkit asks pango for: the layouts name a Windows UI font that Linux systems
// lack, and without a mapping fontconfig picks a Latin font whose fallback for CJK varies by
// machine. Mapped to the CJK font the package list installs.
std::string pangoFamilyFor(std::wstring_view family);

// Draws text inside the box: multiline text wraps at the box width (words, then characters);
// single-line text is not wrapped and is clipped to the box.
void drawText(cairo_t* cr, const Rect& box, std::wstring_view text, const TextStyle& style);

// Width in pixels of the text on one line in this font.
int measureTextWidth(std::wstring_view text, const FontSpec& font);

// What pango actually renders for this font: the family of the face it loads, and how many
// characters of the text that face cannot show (drawn as boxes).
struct FontResolution {
    std::string family;
    int unknownGlyphs = 0;
};
FontResolution resolveFont(std::wstring_view text, const FontSpec& font);

}  // namespace SkinUI

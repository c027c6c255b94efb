#pragma once

#include <cstdint>
#include <string>

#include "skin_images/canvas.h"

// One function per kind of skin image; each fills the whole canvas it is given, so the pixel
// sizes live in one place (the image table) and the drawings scale to them.
namespace skin_images {

// The accent of the whole skin and its hover and pressed shades, as the layouts' bkcolor,
// hotbkcolor and pushedbkcolor give them.
constexpr std::uint32_t kAccent = 0xFF6A7BFF;
constexpr std::uint32_t kAccentHot = 0xFF8E9BFF;
constexpr std::uint32_t kAccentPushed = 0xFF4157FF;

enum class Look { Normal, Hot, Pushed };

void drawBackground(Canvas& canvas);
void drawLogo(Canvas& canvas);
void drawEmblem(cairo_t* cr, double x, double y, double size);
void drawAppIcon(Canvas& canvas);
void drawTipBubble(Canvas& canvas, const std::string& text);
void drawCheckBox(Canvas& canvas, bool checked);
void drawBackButton(Canvas& canvas, Look look);
void drawChevronButton(Canvas& canvas, Look look);
void drawEditFrame(Canvas& canvas);
void drawOutlinedButton(Canvas& canvas, Look look, const std::string& caption);
void drawFilledButton(Canvas& canvas, Look look, const std::string& caption);
void drawProgressTrack(Canvas& canvas);
void drawProgressFill(Canvas& canvas);
void drawFinishedMark(Canvas& canvas);
void drawMinimiseButton(Canvas& canvas, Look look);
void drawCloseButton(Canvas& canvas, Look look);
void drawPromptCloseButton(Canvas& canvas, Look look);
void drawNetworkIcon(Canvas& canvas);
void drawQuestionIcon(Canvas& canvas);
void drawWarningIcon(Canvas& canvas);
// Frame `frame` of a `frameCount` loop; the last frame leads back into the first.
void drawInstallingFrame(Canvas& canvas, int frame, int frameCount);

}  // namespace skin_images

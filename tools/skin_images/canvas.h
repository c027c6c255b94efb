#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// Drawing helpers shared by every skin image: one ARGB surface per image, colours written the
// way the layouts write them (0xAARRGGBB), text laid out by pango in the skin's one typeface.
namespace skin_images {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct PatternDeleter {
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternPtr = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

// A transparent image of the given pixel size with a context drawing into it.
class Canvas {
public:
    Canvas(int widthPx, int heightPx);

    cairo_t* cr() const { return cr_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    // Lightens or darkens one pixel in six by one level, at fixed pseudo-random places: a soft
    // gradient over a few hundred pixels steps through only a dozen levels per channel and would
    // show bands without it. For opaque canvases; the places depend on the pixel position only,
    // so the output stays the same from run to run.
    void ditherOpaque();

    // False when the folder cannot be made or the PNG cannot be written.
    bool writePng(const std::filesystem::path& file) const;

private:
    int width_;
    int height_;
    SurfacePtr surface_;
    ContextPtr cr_;
};

void setColor(cairo_t* cr, std::uint32_t argb);
void setColor(cairo_t* cr, std::uint32_t argb, double alphaScale);
void addColorStop(cairo_pattern_t* pattern, double offset, std::uint32_t argb);

// The colour a fraction t of the way from one colour to the other, channel by channel.
std::uint32_t mixColor(std::uint32_t from, std::uint32_t to, double t);

// A rectangle path with circular corners of the given radius (clamped to half the short side).
void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius);

struct TextStyle {
    double sizePx = 14;
    std::uint32_t color = 0xFF000000;
    bool bold = false;
};

// Pixel extent of a pango markup text in the given style.
void measureMarkup(cairo_t* cr, const std::string& markup, const TextStyle& style, double* widthPx,
                   double* heightPx);

// Draws a pango markup text centred on (cx, cy) by its logical extent.
void drawMarkupCentred(cairo_t* cr, const std::string& markup, const TextStyle& style, double cx,
                       double cy);

}  // namespace skin_images

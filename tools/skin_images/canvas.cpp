#include "skin_images/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <system_error>

namespace skin_images {

namespace {

// The typeface the installer's font alias resolves to, so that the images and the text the
// toolkit draws beside them share one look.
constexpr char kFontFamily[] = "WenQuanYi Micro Hei";

// Of this many pixels the dither darkens one and lightens one.
constexpr std::uint32_t kDitherSlots = 12;

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* description) const {
        pango_font_description_free(description);
    }
};
struct FontOptionsDeleter {
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};

// A well-mixed 32-bit value of a pixel position (the finaliser of a common 32-bit hash).
std::uint32_t positionHash(std::uint32_t x, std::uint32_t y) {
    std::uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

double channel(std::uint32_t argb, int shift) {
    return ((argb >> shift) & 0xFF) / 255.0;
}

// Hinting follows the local fontconfig setup unless pinned; pinning it keeps the generated PNGs
// identical from one machine to the next.
std::unique_ptr<PangoLayout, LayoutDeleter> makeLayout(cairo_t* cr, const std::string& markup,
                                                       const TextStyle& style) {
    std::unique_ptr<PangoLayout, LayoutDeleter> layout(pango_cairo_create_layout(cr));
    std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout.get()), options.get());
    pango_layout_context_changed(layout.get());

    std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> description(
        pango_font_description_new());
    pango_font_description_set_family(description.get(), kFontFamily);
    pango_font_description_set_absolute_size(description.get(), style.sizePx * PANGO_SCALE);
    pango_font_description_set_weight(description.get(),
                                      style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), description.get());
    pango_layout_set_markup(layout.get(), markup.c_str(), -1);
    return layout;
}

}  // namespace

Canvas::Canvas(int widthPx, int heightPx)
    : width_(widthPx),
      height_(heightPx),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, widthPx, heightPx)),
      cr_(cairo_create(surface_.get())) {}

void Canvas::ditherOpaque() {
    cairo_surface_flush(surface_.get());
    unsigned char* data = cairo_image_surface_get_data(surface_.get());
    const int stride = cairo_image_surface_get_stride(surface_.get());
    for (int y = 0; y < height_; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t slot = positionHash(x, y) % kDitherSlots;
            const int offset = slot == 0 ? -1 : slot == 1 ? 1 : 0;
            std::uint32_t pixel = row[x] & 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                const int value = static_cast<int>((row[x] >> shift) & 0xFF) + offset;
                pixel |= static_cast<std::uint32_t>(std::clamp(value, 0, 255)) << shift;
            }
            row[x] = pixel;
        }
    }
    cairo_surface_mark_dirty(surface_.get());
}

bool Canvas::writePng(const std::filesystem::path& file) const {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        return false;
    }
    cairo_surface_flush(surface_.get());
    return cairo_surface_write_to_png(surface_.get(), file.c_str()) == CAIRO_STATUS_SUCCESS;
}

void setColor(cairo_t* cr, std::uint32_t argb) {
    setColor(cr, argb, 1.0);
}

void setColor(cairo_t* cr, std::uint32_t argb, double alphaScale) {
    cairo_set_source_rgba(cr, channel(argb, 16), channel(argb, 8), channel(argb, 0),
                          channel(argb, 24) * alphaScale);
}

void addColorStop(cairo_pattern_t* pattern, double offset, std::uint32_t argb) {
    cairo_pattern_add_color_stop_rgba(pattern, offset, channel(argb, 16), channel(argb, 8),
                                      channel(argb, 0), channel(argb, 24));
}

std::uint32_t mixColor(std::uint32_t from, std::uint32_t to, double t) {
    std::uint32_t mixed = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const double a = (from >> shift) & 0xFF;
        const double b = (to >> shift) & 0xFF;
        mixed |= static_cast<std::uint32_t>(std::lround(a + (b - a) * t)) << shift;
    }
    return mixed;
}

void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius) {
    const double r = std::min({radius, width / 2, height / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + width - r, y + height - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + height - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void measureMarkup(cairo_t* cr, const std::string& markup, const TextStyle& style, double* widthPx,
                   double* heightPx) {
    const auto layout = makeLayout(cr, markup, style);
    PangoRectangle logical{};
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    *widthPx = static_cast<double>(logical.width) / PANGO_SCALE;
    *heightPx = static_cast<double>(logical.height) / PANGO_SCALE;
}

void drawMarkupCentred(cairo_t* cr, const std::string& markup, const TextStyle& style, double cx,
                       double cy) {
    const auto layout = makeLayout(cr, markup, style);
    PangoRectangle logical{};
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    cairo_save(cr);
    setColor(cr, style.color);
    cairo_move_to(cr, cx - (logical.x + logical.width / 2.0) / PANGO_SCALE,
                  cy - (logical.y + logical.height / 2.0) / PANGO_SCALE);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

}  // namespace skin_images

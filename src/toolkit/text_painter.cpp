#include "toolkit/text_painter.h"

#include <pango/pangocairo.h>

#include <memory>

#include "platform/text_encoding.h"
#include "toolkit/attribute_values.h"
#include "toolkit/cairo_handles.h"

namespace SkinUI {

namespace {

constexpr const char* kCjkFamily = "WenQuanYi Micro Hei";
constexpr const char* kFallbackFamily = "sans-serif";

struct FontDescriptionRelease {
    void operator()(PangoFontDescription* description) const {
        pango_font_description_free(description);
    }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionRelease>;

FontDescriptionPtr describe(const FontSpec& font) {
    FontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), pangoFamilyFor(font.family).c_str());
    pango_font_description_set_absolute_size(description.get(),
                                             static_cast<double>(font.sizePx) * PANGO_SCALE);
    pango_font_description_set_weight(description.get(),
                                      font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description.get(),
                                     font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return description;
}

GObjectPtr<PangoLayout> makeLayout(cairo_t* cr, std::wstring_view text, const FontSpec& font) {
    GObjectPtr<PangoLayout> layout(pango_cairo_create_layout(cr));
    const FontDescriptionPtr description = describe(font);
    pango_layout_set_font_description(layout.get(), description.get());
    const std::string utf8 = platform::utf8FromWide(text);
    pango_layout_set_text(layout.get(), utf8.c_str(), static_cast<int>(utf8.size()));
    if (font.underline) {
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout.get(), attributes);
        pango_attr_list_unref(attributes);
    }
    return layout;
}

// A scratch context for measuring outside a paint: same font map and options as painting on
// an image surface, so measured and drawn widths agree.
struct MeasureContext {
    CairoSurfacePtr surface{cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1)};
    CairoPtr cr{cairo_create(surface.get())};
};

}  // namespace

std::string pangoFamilyFor(std::wstring_view family) {
    if (family.empty()) {
        return kFallbackFamily;
    }
    if (family == L"微软雅黑" || equalsAsciiNoCase(family, L"Microsoft YaHei")) {
        return kCjkFamily;
    }
    return platform::utf8FromWide(family);
}

void drawText(cairo_t* cr, const Rect& box, std::wstring_view text, const TextStyle& style) {
    if (text.empty() || box.empty() || (style.color >> 24) == 0) {
        return;
    }
    const GObjectPtr<PangoLayout> layout = makeLayout(cr, text, style.font);
    if (style.multiline) {
        pango_layout_set_width(layout.get(), box.width() * PANGO_SCALE);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(layout.get(), style.align == HAlign::Center  ? PANGO_ALIGN_CENTER
                                                 : style.align == HAlign::Right ? PANGO_ALIGN_RIGHT
                                                                                : PANGO_ALIGN_LEFT);
    }
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);

    int x = box.left;
    if (!style.multiline) {
        if (style.align == HAlign::Center) {
            x += (box.width() - logical.width) / 2;
        } else if (style.align == HAlign::Right) {
            x += box.width() - logical.width;
        }
    }
    int y = box.top;
    if (style.valign == VAlign::Center) {
        y += (box.height() - logical.height) / 2;
    } else if (style.valign == VAlign::Bottom) {
        y += box.height() - logical.height;
    }

    cairo_save(cr);
    cairo_rectangle(cr, box.left, box.top, box.width(), box.height());
    cairo_clip(cr);
    const Color color = style.color;
    cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                          (color & 0xFF) / 255.0, ((color >> 24) & 0xFF) / 255.0);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

int measureTextWidth(std::wstring_view text, const FontSpec& font) {
    const MeasureContext context;
    const GObjectPtr<PangoLayout> layout = makeLayout(context.cr.get(), text, font);
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
    return logical.width;
}

FontResolution resolveFont(std::wstring_view text, const FontSpec& font) {
    const MeasureContext context;
    const GObjectPtr<PangoLayout> layout = makeLayout(context.cr.get(), text, font);
    FontResolution resolution;
    resolution.unknownGlyphs = pango_layout_get_unknown_glyphs_count(layout.get());
    PangoContext* pangoContext = pango_layout_get_context(layout.get());
    const FontDescriptionPtr description = describe(font);
    const GObjectPtr<PangoFont> loaded(pango_context_load_font(pangoContext, description.get()));
    if (loaded) {
        const FontDescriptionPtr actual(pango_font_describe(loaded.get()));
        const char* family = pango_font_description_get_family(actual.get());
        resolution.family = family ? family : "";
    }
    return resolution;
}

}  // namespace SkinUI

// Pango starts fontconfig on a thread of its own and fontconfig keeps that configuration until
// the process ends; neither library is built with sanitizers, so their private handover looks
// like a race and their process-lifetime caches like leaks. Only those two libraries are exempt.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so.1\nrace:libpangoft2-1.0.so.0\n";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so.1\n";
}

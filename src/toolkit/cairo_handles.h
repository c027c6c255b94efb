#pragma once

#include <cairo.h>
#include <glib-object.h>

#include <memory>

// Owners for the cairo and GObject handles the toolkit keeps; a shared surface is how the image
// cache hands the same decoded picture to every control that draws it.
namespace SkinUI {

struct CairoSurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct CairoRelease {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct CairoPatternRelease {
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};
struct GObjectRelease {
    void operator()(void* object) const { g_object_unref(object); }
};

using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceRelease>;
using CairoPtr = std::unique_ptr<cairo_t, CairoRelease>;
using CairoPatternPtr = std::unique_ptr<cairo_pattern_t, CairoPatternRelease>;
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectRelease>;

using SharedSurface = std::shared_ptr<cairo_surface_t>;

inline SharedSurface shareSurface(cairo_surface_t* surface) {
    return SharedSurface(surface, CairoSurfaceRelease());
}

}  // namespace SkinUI

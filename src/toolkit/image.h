#pragma once

#include <cairo.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/cairo_handles.h"
#include "toolkit/geometry.h"

namespace SkinUI {

// An image attribute: a bare path, or key='value' pairs naming the file and how to draw it.
struct ImageAttribute {
    std::wstring file;
    std::optional<Rect> dest;   // inside the control; the whole control when absent
    Rect corner;                // nine-grid edges that keep their size
    std::optional<Color> mask;  // pixels of this RGB become transparent
    int fade = 255;
    bool hole = false;  // true leaves the middle of a nine-grid undrawn
    bool xtiled = false;
    bool ytiled = false;
};

// Nothing for an empty attribute or one that names no file.
std::optional<ImageAttribute> parseImageAttribute(std::wstring_view text);

// A name that must never be read from disk: absolute, or climbing out with "..". Images the
// archive lacks are read beside the executable, and these would escape that folder.
bool isRefusedImagePath(std::wstring_view name);

// The bytes of a skin file: the registered archive first, then (for images only, through
// readImageBytes) a file below the executable's folder.
std::optional<std::vector<std::uint8_t>> readArchiveFile(std::wstring_view name,
                                                         std::uint64_t maxBytes);
std::optional<std::vector<std::uint8_t>> readImageBytes(std::wstring_view name);

// PNG bytes to an ARGB32 surface; nothing when they do not decode.
SharedSurface decodePng(const std::vector<std::uint8_t>& bytes);

// Decoded images by name (and mask), including the names that failed, so a missing image is
// looked for once, not on every paint.
class ImageCache {
public:
    SharedSurface get(std::wstring_view name, std::optional<Color> mask = std::nullopt);

private:
    std::map<std::wstring, SharedSurface> images_;
};

void drawImage(cairo_t* cr, ImageCache& cache, const Rect& control, const ImageAttribute& image);

}  // namespace SkinUI

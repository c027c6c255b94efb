#include "toolkit/image.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/path.h"
#include "toolkit/attribute_values.h"
#include "toolkit/resource_archive.h"

namespace SkinUI {

namespace {

constexpr std::uint64_t kMaxImageBytes = 64ull * 1024 * 1024;

std::wstring slashed(std::wstring_view name) {
    std::wstring result(name);
    std::replace(result.begin(), result.end(), L'\\', L'/');
    return result;
}

// Splits "file='a' dest='1,2,3,4'" into pairs; a value runs to its closing quote.
std::vector<std::pair<std::wstring, std::wstring>> keyValues(std::wstring_view text) {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == L' ' || text[at] == L'\t')) {
            ++at;
        }
        const std::size_t equals = text.find(L'=', at);
        if (equals == std::wstring_view::npos || equals + 1 >= text.size()) {
            break;
        }
        const wchar_t quote = text[equals + 1];
        if (quote != L'\'' && quote != L'"') {
            break;
        }
        const std::size_t close = text.find(quote, equals + 2);
        if (close == std::wstring_view::npos) {
            break;
        }
        std::wstring key(text.substr(at, equals - at));
        while (!key.empty() && key.back() == L' ') {
            key.pop_back();
        }
        pairs.emplace_back(std::move(key),
                           std::wstring(text.substr(equals + 2, close - equals - 2)));
        at = close + 1;
    }
    return pairs;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::wstring& path) {
    std::ifstream in(platform::nativePath(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxImageBytes) {
        return std::nullopt;
    }
    in.seekg(0);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return std::nullopt;
    }
    return bytes;
}

struct PngReader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at = 0;
};

cairo_status_t readPngChunk(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->bytes->size() - reader->at < length) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(data, reader->bytes->data() + reader->at, length);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

// Only fully opaque pixels are compared: the mask colour stands for a background that was
// painted solid in the source picture.
SharedSurface masked(const SharedSurface& source, Color mask) {
    const int width = cairo_image_surface_get_width(source.get());
    const int height = cairo_image_surface_get_height(source.get());
    SharedSurface copy =
        shareSurface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    {
        const CairoPtr cr(cairo_create(copy.get()));
        cairo_set_source_surface(cr.get(), source.get(), 0, 0);
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr.get());
    }
    cairo_surface_flush(copy.get());
    unsigned char* data = cairo_image_surface_get_data(copy.get());
    const int stride = cairo_image_surface_get_stride(copy.get());
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            if ((row[x] >> 24) == 0xFF && (row[x] & 0xFFFFFF) == (mask & 0xFFFFFF)) {
                row[x] = 0;
            }
        }
    }
    cairo_surface_mark_dirty(copy.get());
    return copy;
}

void drawCell(cairo_t* cr, cairo_surface_t* surface, const Rect& source, const Rect& target,
              const ImageAttribute& image) {
    if (source.empty() || target.empty()) {
        return;
    }
    // A sub-surface with PAD keeps the scaling filter from sampling the neighbouring cell.
    const CairoSurfacePtr cell(cairo_surface_create_for_rectangle(surface, source.left, source.top,
                                                                  source.width(), source.height()));
    const CairoPatternPtr pattern(cairo_pattern_create_for_surface(cell.get()));
    const bool tiled = image.xtiled || image.ytiled;
    cairo_pattern_set_extend(pattern.get(), tiled ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    const double scaleX = image.xtiled ? 1.0 : static_cast<double>(source.width()) / target.width();
    const double scaleY =
        image.ytiled ? 1.0 : static_cast<double>(source.height()) / target.height();
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, scaleX, scaleY);
    cairo_matrix_translate(&matrix, -target.left, -target.top);
    cairo_pattern_set_matrix(pattern.get(), &matrix);

    cairo_save(cr);
    cairo_rectangle(cr, target.left, target.top, target.width(), target.height());
    cairo_clip(cr);
    cairo_set_source(cr, pattern.get());
    cairo_paint_with_alpha(cr, std::clamp(image.fade, 0, 255) / 255.0);
    cairo_restore(cr);
}

}  // namespace

std::optional<ImageAttribute> parseImageAttribute(std::wstring_view text) {
    ImageAttribute image;
    if (text.find(L'=') == std::wstring_view::npos) {
        image.file = text;
    } else {
        for (const auto& [key, value] : keyValues(text)) {
            if (key == L"file" || key == L"res") {
                image.file = value;
            } else if (key == L"dest") {
                image.dest = parseRect(value);
            } else if (key == L"corner") {
                image.corner = parseRect(value).value_or(Rect{});
            } else if (key == L"mask") {
                image.mask = parseColor(value);
            } else if (key == L"fade") {
                image.fade = parseInt(value).value_or(255);
            } else if (key == L"hole") {
                image.hole = parseBool(value);
            } else if (key == L"xtiled") {
                image.xtiled = parseBool(value);
            } else if (key == L"ytiled") {
                image.ytiled = parseBool(value);
            }
        }
    }
    if (image.file.empty()) {
        return std::nullopt;
    }
    return image;
}

bool isRefusedImagePath(std::wstring_view name) {
    const std::wstring path = slashed(name);
    if (path.empty() || path.front() == L'/' || (path.size() >= 2 && path[1] == L':')) {
        return true;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(L'/', start), path.size());
        if (path.compare(start, end - start, L"..") == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::optional<std::vector<std::uint8_t>> readArchiveFile(std::wstring_view name,
                                                         std::uint64_t maxBytes) {
    const auto archive = registeredResourceArchive();
    if (!archive) {
        return std::nullopt;
    }
    const auto entry = archive->find(name);
    if (!entry || entry->size > maxBytes) {
        return std::nullopt;
    }
    return archive->read(entry->index);
}

std::optional<std::vector<std::uint8_t>> readImageBytes(std::wstring_view name) {
    if (auto bytes = readArchiveFile(name, kMaxImageBytes)) {
        return bytes;
    }
    if (isRefusedImagePath(name)) {
        return std::nullopt;
    }
    const std::wstring folder = platform::parentFolder(platform::modulePath());
    if (folder.empty()) {
        return std::nullopt;
    }
    return readFile(platform::joinPath(folder, slashed(name)));
}

SharedSurface decodePng(const std::vector<std::uint8_t>& bytes) {
    PngReader reader{&bytes};
    SharedSurface surface =
        shareSurface(cairo_image_surface_create_from_png_stream(readPngChunk, &reader));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    return surface;
}

SharedSurface ImageCache::get(std::wstring_view name, std::optional<Color> mask) {
    std::wstring key = slashed(name);
    const std::wstring plainKey = key;
    if (mask) {
        key += L"|mask=" + std::to_wstring(*mask & 0xFFFFFF);
    }
    if (const auto found = images_.find(key); found != images_.end()) {
        return found->second;
    }
    SharedSurface surface;
    if (mask) {
        if (const SharedSurface plain = get(plainKey)) {
            surface = masked(plain, *mask);
        }
    } else if (const auto bytes = readImageBytes(name)) {
        surface = decodePng(*bytes);
    }
    images_.emplace(std::move(key), surface);
    return surface;
}

void drawImage(cairo_t* cr, ImageCache& cache, const Rect& control, const ImageAttribute& image) {
    const SharedSurface surface = cache.get(image.file, image.mask);
    if (!surface) {
        return;
    }
    const int imageWidth = cairo_image_surface_get_width(surface.get());
    const int imageHeight = cairo_image_surface_get_height(surface.get());
    const Rect target = image.dest ? image.dest->offset(control.left, control.top) : control;
    if (target.empty() || imageWidth <= 0 || imageHeight <= 0) {
        return;
    }
    const Rect& c = image.corner;
    const int sourceX[] = {0, std::clamp(c.left, 0, imageWidth),
                           std::clamp(imageWidth - c.right, 0, imageWidth), imageWidth};
    const int sourceY[] = {0, std::clamp(c.top, 0, imageHeight),
                           std::clamp(imageHeight - c.bottom, 0, imageHeight), imageHeight};
    const int targetX[] = {target.left, std::min(target.left + c.left, target.right),
                           std::max(target.right - c.right, target.left), target.right};
    const int targetY[] = {target.top, std::min(target.top + c.top, target.bottom),
                           std::max(target.bottom - c.bottom, target.top), target.bottom};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (row == 1 && column == 1 && image.hole) {
                continue;
            }
            drawCell(cr, surface.get(),
                     {sourceX[column], sourceY[row], sourceX[column + 1], sourceY[row + 1]},
                     {targetX[column], targetY[row], targetX[column + 1], targetY[row + 1]}, image);
        }
    }
}

}  // namespace SkinUI

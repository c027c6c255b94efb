#pragma once

#include <cstdint>

namespace SkinUI {

struct Point {
    int x = 0;
    int y = 0;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// Edges, not extent: right and bottom are one past the last pixel, as layouts write them.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Point centre() const { return {(left + right) / 2, (top + bottom) / 2}; }
    bool operator==(const Rect&) const = default;
};

// 0xAARRGGBB, alpha first as layouts write colours. Alpha 0 means "not set": nothing is drawn.
using Color = std::uint32_t;

}  // namespace SkinUI

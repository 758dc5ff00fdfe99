// Inside tests of the shapes the pictures are built from, in pixel
// coordinates (a pixel's centre is at x + 0.5). Canvas::Paint samples them.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

namespace artgen {

struct RoundRect {
    float x0, y0, x1, y1;
    float rTopLeft, rTopRight, rBottomRight, rBottomLeft;

    bool operator()(float x, float y) const {
        if (x < x0 || x >= x1 || y < y0 || y >= y1) {
            return false;
        }
        return InCorner(x, y, x0 + rTopLeft, y0 + rTopLeft, rTopLeft, x < x0 + rTopLeft,
                        y < y0 + rTopLeft) &&
               InCorner(x, y, x1 - rTopRight, y0 + rTopRight, rTopRight, x > x1 - rTopRight,
                        y < y0 + rTopRight) &&
               InCorner(x, y, x1 - rBottomRight, y1 - rBottomRight, rBottomRight,
                        x > x1 - rBottomRight, y > y1 - rBottomRight) &&
               InCorner(x, y, x0 + rBottomLeft, y1 - rBottomLeft, rBottomLeft,
                        x<x0 + rBottomLeft, y> y1 - rBottomLeft);
    }

    static bool InCorner(float x, float y, float cx, float cy, float r, bool nearX, bool nearY) {
        if (r <= 0.0f || !nearX || !nearY) {
            return true;
        }
        float dx = x - cx;
        float dy = y - cy;
        return dx * dx + dy * dy <= r * r;
    }
};

inline RoundRect Box(float x0, float y0, float x1, float y1, float r = 0.0f) {
    return {x0, y0, x1, y1, r, r, r, r};
}

struct Circle {
    float cx, cy, r;
    bool operator()(float x, float y) const {
        float dx = x - cx;
        float dy = y - cy;
        return dx * dx + dy * dy <= r * r;
    }
};

struct Ring {
    float cx, cy, outer, inner;
    bool operator()(float x, float y) const {
        float dx = x - cx;
        float dy = y - cy;
        float d2 = dx * dx + dy * dy;
        return d2 <= outer * outer && d2 >= inner * inner;
    }
};

// Even-odd polygon test.
struct Polygon {
    std::vector<float> xs;
    std::vector<float> ys;
    bool operator()(float x, float y) const {
        bool inside = false;
        size_t n = xs.size();
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            if ((ys[i] > y) != (ys[j] > y) &&
                x < (xs[j] - xs[i]) * (y - ys[i]) / (ys[j] - ys[i]) + xs[i]) {
                inside = !inside;
            }
        }
        return inside;
    }
};

// The console elbow: a column down the left and a bar along the top that meet
// in a rounded outer corner, with a concave fillet where their inner edges
// meet.
struct Elbow {
    float left, top;
    float columnRight, columnBottom;
    float barRight, barBottom;
    float outerRadius, innerRadius;

    bool operator()(float x, float y) const {
        bool column = x >= left && x < columnRight && y >= top && y < columnBottom;
        bool bar = x >= left && x < barRight && y >= top && y < barBottom;
        float fx = columnRight + innerRadius;
        float fy = barBottom + innerRadius;
        bool fillet = x >= columnRight && x < fx && y >= barBottom && y < fy &&
                      (x - fx) * (x - fx) + (y - fy) * (y - fy) > innerRadius * innerRadius;
        if (!(column || bar || fillet)) {
            return false;
        }
        return RoundRect::InCorner(x, y, left + outerRadius, top + outerRadius, outerRadius,
                                   x < left + outerRadius, y < top + outerRadius);
    }
};

// Small numerals for the panel labels: 3 x 5 cells a digit, '-' allowed.
struct Label {
    const char* text;
    float x, y; // top-left corner
    float cell; // cell size in pixels

    bool operator()(float px, float py) const {
        static const uint16_t kGlyphs[11] = {
            0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF, 0x01C0,
        };
        int col = static_cast<int>(std::floor((px - x) / cell));
        int row = static_cast<int>(std::floor((py - y) / cell));
        if (col < 0 || row < 0 || row >= 5) {
            return false;
        }
        int index = col / 4;
        int within = col % 4;
        for (int i = 0; text[i] != '\0'; ++i) {
            if (i != index) {
                continue;
            }
            if (within == 3) {
                return false;
            }
            int glyph = text[i] == '-' ? 10 : text[i] - '0';
            return (kGlyphs[glyph] >> (14 - (row * 3 + within))) & 1;
        }
        return false;
    }

    float Width() const {
        float n = 0;
        for (int i = 0; text[i] != '\0'; ++i) {
            n += 1;
        }
        return (n * 4 - 1) * cell;
    }
};

} // namespace artgen

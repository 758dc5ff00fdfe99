// The ship's emblem: a ring with a swept arrowhead crossing an orbit. It is
// the application icon (in colour) and the farewell picture (white on navy).
#include "Art.h"
#include "Shapes.h"

#include <cmath>

namespace artgen {

namespace {

using namespace colours;

// Emblem geometry in units of the ring's outer radius, centred on the origin,
// y pointing down; Place maps it onto a picture.
struct Placement {
    float cx, cy, radius;
    float tilt; // radians, clockwise

    void Map(float ux, float uy, float& x, float& y) const {
        float c = std::cos(tilt), s = std::sin(tilt);
        x = cx + radius * (ux * c - uy * s);
        y = cy + radius * (ux * s + uy * c);
    }
};

Polygon Arrowhead(const Placement& at, float grow) {
    const float ux[] = {0.0f, 0.44f, 0.0f, -0.44f};
    const float uy[] = {-0.76f, 0.60f, 0.24f, 0.60f};
    Polygon shape;
    for (int i = 0; i < 4; ++i) {
        float x, y;
        // Grow about the arrowhead's own centre to make its outline.
        at.Map(ux[i] * (1.0f + grow), (uy[i] - 0.05f) * (1.0f + grow) + 0.05f, x, y);
        shape.xs.push_back(x);
        shape.ys.push_back(y);
    }
    return shape;
}

// A thin tilted ellipse, the orbit the ship has left.
struct Orbit {
    Placement at;
    float a, b, thickness;
    bool operator()(float x, float y) const {
        float dx = (x - at.cx) / at.radius, dy = (y - at.cy) / at.radius;
        float c = std::cos(-at.tilt - 0.45f), s = std::sin(-at.tilt - 0.45f);
        float ex = dx * c - dy * s, ey = dx * s + dy * c;
        float outer = (ex / (a + thickness)) * (ex / (a + thickness)) +
                      (ey / (b + thickness)) * (ey / (b + thickness));
        float inner = (ex / (a - thickness)) * (ex / (a - thickness)) +
                      (ey / (b - thickness)) * (ey / (b - thickness));
        return outer <= 1.0f && inner > 1.0f;
    }
};

// Four-pointed glint.
struct Glint {
    float cx, cy, size;
    bool operator()(float x, float y) const {
        float dx = std::fabs(x - cx) / size, dy = std::fabs(y - cy) / size;
        return std::sqrt(dx) + std::sqrt(dy) <= 1.0f;
    }
};

struct EmblemColours {
    Rgb disc;
    Rgb ring;
    Rgb orbit;
    Rgb ship;
};

void PaintEmblem(Canvas& canvas, const Placement& at, const EmblemColours& c, bool detailed) {
    canvas.Paint(Circle{at.cx, at.cy, at.radius}, c.disc);
    float ringWidth = detailed ? 0.12f : 0.16f;
    canvas.Paint(Ring{at.cx, at.cy, at.radius, at.radius * (1.0f - ringWidth)}, c.ring);
    if (detailed) {
        canvas.Paint(Orbit{at, 0.80f, 0.26f, 0.035f}, c.orbit);
        float gx, gy;
        at.Map(-0.42f, -0.40f, gx, gy);
        canvas.Paint(Glint{gx, gy, at.radius * 0.16f}, c.ship);
        // A disc-coloured outline lifts the ship off the orbit it crosses.
        canvas.Paint(Arrowhead(at, 0.14f), c.disc);
    }
    canvas.Paint(Arrowhead(at, 0.0f), c.ship);
}

Placement IconPlacement(int size) {
    float half = size / 2.0f;
    return {half, half, half - (size >= 32 ? 0.5f : 0.25f), 0.2f};
}

void DrawIconCanvas(Canvas& canvas, int size) {
    EmblemColours c{kNavy, kOrange, kBlue, kWhite};
    PaintEmblem(canvas, IconPlacement(size), c, size >= 32);
}

std::vector<PaletteEntry> IconPalette() {
    std::vector<PaletteEntry> palette;
    AppendRamp(palette, kNavy, kWhite, 64);
    AppendRamp(palette, kNavy, kOrange, 64);
    AppendRamp(palette, kNavy, kBlue, 64);
    AppendRamp(palette, kOrange, kWhite, 32);
    AppendRamp(palette, kBlue, kWhite, 31);
    palette.push_back({0, 0, 0});
    return palette;
}

} // namespace

IndexedImage DrawFarewell() {
    const int width = 325, height = 217;
    Canvas canvas(width, height, kNavy, 1.0f);
    Placement at{width / 2.0f, height / 2.0f, 88.0f, 0.2f};
    // Stars, kept clear of the emblem.
    Lcg random(0xFA2Eu);
    for (int placed = 0; placed < 46;) {
        float x = static_cast<float>(random.Next() % 3250u) / 10.0f;
        float y = static_cast<float>(random.Next() % 2170u) / 10.0f;
        float r = 0.5f + static_cast<float>(random.Next() % 90u) / 100.0f;
        float brightness = 0.35f + static_cast<float>(random.Next() % 65u) / 100.0f;
        float dx = x - at.cx, dy = y - at.cy;
        if (std::sqrt(dx * dx + dy * dy) < at.radius + 8.0f) {
            continue;
        }
        canvas.Paint(Circle{x, y, r}, kWhite, brightness);
        ++placed;
    }
    EmblemColours c{kNavy, kWhite, kWhite, kWhite};
    PaintEmblem(canvas, at, c, true);
    canvas.Paint(Ring{at.cx, at.cy, at.radius * 1.07f, at.radius * 1.04f}, kWhite, 0.55f);
    std::vector<PaletteEntry> palette;
    AppendRamp(palette, kNavy, kWhite, 16);
    return Quantize(canvas, palette, 4);
}

RgbaImage DrawIconTrueColour(int size) {
    Canvas canvas(size, size, kBlack, 0.0f);
    DrawIconCanvas(canvas, size);
    return ToRgba(canvas);
}

PalettizedIcon DrawIconPalettized(int size) {
    Canvas canvas(size, size, kBlack, 0.0f);
    DrawIconCanvas(canvas, size);
    PalettizedIcon icon;
    icon.image = Quantize(canvas, IconPalette(), 8);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            bool opaque = canvas.Alpha(x, y) >= 0.5f;
            icon.opaque.push_back(opaque ? 1 : 0);
            if (!opaque) {
                icon.image.indices[y * size + x] = 255; // black, left to the screen
            }
        }
    }
    return icon;
}

std::vector<uint8_t> DrawIconFile() {
    std::vector<RgbaImage> trueColour{DrawIconTrueColour(48), DrawIconTrueColour(32),
                                      DrawIconTrueColour(16)};
    std::vector<PalettizedIcon> palettized{DrawIconPalettized(32), DrawIconPalettized(16)};
    return EncodeIco(trueColour, palettized);
}

} // namespace artgen

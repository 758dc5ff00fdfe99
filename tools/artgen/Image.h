// Pixel containers, antialiased shape painting and the BMP and ICO encoders of
// the artwork generator. Standard library only; every encoder writes its
// little-endian fields byte by byte so that no struct layout is assumed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace artgen {

// Colour with components 0..255 as floats, so that blends keep their precision
// until the picture is quantised.
struct Rgb {
    float r;
    float g;
    float b;
};

// Deterministic generator for the pictures' random details: unlike the
// standard library's distributions it gives the same numbers everywhere.
class Lcg {
  public:
    explicit Lcg(uint32_t seed) : m_nState(seed) {}
    uint32_t Next() {
        m_nState = m_nState * 1664525u + 1013904223u;
        return m_nState >> 8;
    }

  private:
    uint32_t m_nState;
};

Rgb Mix(Rgb a, Rgb b, float t);
Rgb Lighten(Rgb c, float t); // towards white by t

// A straight-alpha RGBA picture, top row first, painted with supersampled
// coverage so that edges come out antialiased.
class Canvas {
  public:
    Canvas(int width, int height, Rgb fill, float alpha);
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    Rgb Colour(int x, int y) const { return m_colours[Index(x, y)]; }
    float Alpha(int x, int y) const { return m_alphas[Index(x, y)]; }
    void Set(int x, int y, Rgb c, float alpha);

    // Paints `colour` over every pixel in proportion to how much of the pixel
    // lies inside the shape (4 x 4 samples at pixel centres offsets).
    template <class Inside> void Paint(const Inside& inside, Rgb colour, float opacity = 1.0f) {
        for (int y = 0; y < m_nHeight; ++y) {
            for (int x = 0; x < m_nWidth; ++x) {
                float cover = Coverage(inside, x, y) * opacity;
                if (cover > 0.0f) {
                    Blend(x, y, colour, cover);
                }
            }
        }
    }

    template <class Inside> static float Coverage(const Inside& inside, int x, int y) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy) {
            for (int sx = 0; sx < 4; ++sx) {
                hits += inside(x + (sx + 0.5f) / 4.0f, y + (sy + 0.5f) / 4.0f) ? 1 : 0;
            }
        }
        return hits / 16.0f;
    }

  private:
    int Index(int x, int y) const { return y * m_nWidth + x; }
    void Blend(int x, int y, Rgb c, float cover);

    int m_nWidth;
    int m_nHeight;
    std::vector<Rgb> m_colours;
    std::vector<float> m_alphas;
};

// 24-bit picture, top row first, 3 bytes a pixel in the order red, green, blue.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    uint8_t At(int x, int y, int channel) const { return pixels[(y * width + x) * 3 + channel]; }
};

struct PaletteEntry {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

// Palettized picture (4 or 8 bits a pixel), top row first, one index a pixel.
struct IndexedImage {
    int width = 0;
    int height = 0;
    int bits = 8;
    std::vector<PaletteEntry> palette;
    std::vector<uint8_t> indices;
    uint8_t At(int x, int y) const { return indices[y * width + x]; }
    PaletteEntry ColourAt(int x, int y) const { return palette[At(x, y)]; }
};

// Straight-alpha 32-bit picture for icons, top row first, RGBA.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

RgbImage ToRgb(const Canvas& canvas);
RgbaImage ToRgba(const Canvas& canvas);
// Maps every pixel to its nearest palette entry (squared RGB distance).
IndexedImage Quantize(const Canvas& canvas, const std::vector<PaletteEntry>& palette, int bits);
// `count` entries running evenly from `from` to `to`, both ends included.
void AppendRamp(std::vector<PaletteEntry>& palette, Rgb from, Rgb to, int count);

std::vector<uint8_t> EncodeBmp(const RgbImage& image);
std::vector<uint8_t> EncodeBmp(const IndexedImage& image);
// A palettized icon image with its AND mask: pixels not marked opaque are
// left to the screen.
struct PalettizedIcon {
    IndexedImage image;
    std::vector<uint8_t> opaque; // one flag a pixel, top row first
};

// One icon file with the true-colour images (their own alpha; the AND mask is
// derived from it for systems that ignore alpha) and the palettized images.
std::vector<uint8_t> EncodeIco(const std::vector<RgbaImage>& trueColour,
                               const std::vector<PalettizedIcon>& palettized);

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace artgen

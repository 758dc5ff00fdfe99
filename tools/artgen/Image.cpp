#include "Image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

namespace artgen {

namespace {

uint8_t ToByte(float v) {
    float c = std::min(255.0f, std::max(0.0f, v));
    return static_cast<uint8_t>(std::lround(c));
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

int RowStride(int width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// BITMAPINFOHEADER. `height` is the stored height (twice the picture's for
// icons, whose AND mask follows the colour rows).
void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t imageSize,
                   uint32_t colours) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0); // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835); // 72 dpi
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
}

void PutPalette(std::vector<uint8_t>& out, const IndexedImage& image) {
    for (const PaletteEntry& e : image.palette) {
        out.push_back(e.b);
        out.push_back(e.g);
        out.push_back(e.r);
        out.push_back(0);
    }
}

// Index rows, bottom row first, each padded to 4 bytes; 4-bit pixels put the
// left one in the high nibble.
void PutIndexRows(std::vector<uint8_t>& out, const IndexedImage& image) {
    int stride = RowStride(image.width, image.bits);
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
        for (int x = 0; x < image.width; ++x) {
            uint8_t index = image.At(x, y);
            if (image.bits == 8) {
                row[x] = index;
            } else {
                row[x / 2] |= (x % 2 == 0) ? static_cast<uint8_t>(index << 4) : index;
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

// 1-bit AND mask rows, bottom row first: a set bit leaves the screen pixel.
void PutAndMask(std::vector<uint8_t>& out, int width, int height,
                const std::vector<uint8_t>& opaque) {
    int stride = RowStride(width, 1);
    for (int y = height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
        for (int x = 0; x < width; ++x) {
            if (!opaque[y * width + x]) {
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

void PutFileHeader(std::vector<uint8_t>& out, uint32_t fileSize, uint32_t pixelOffset) {
    out.push_back('B');
    out.push_back('M');
    Put32(out, fileSize);
    Put32(out, 0);
    Put32(out, pixelOffset);
}

std::vector<uint8_t> IconImageTrueColour(const RgbaImage& image) {
    std::vector<uint8_t> out;
    int w = image.width;
    int h = image.height;
    uint32_t size = static_cast<uint32_t>(w * 4 * h + RowStride(w, 1) * h);
    PutInfoHeader(out, w, h * 2, 32, size, 0);
    std::vector<uint8_t> opaque(static_cast<size_t>(w * h));
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &image.pixels[(y * w + x) * 4];
            // Systems that ignore alpha XOR the colour into the screen where
            // the AND mask is set, so transparent pixels must be black.
            bool visible = p[3] >= 128;
            opaque[y * w + x] = visible ? 1 : 0;
            uint8_t keep = p[3] == 0 ? 0 : 1;
            out.push_back(static_cast<uint8_t>(p[2] * keep));
            out.push_back(static_cast<uint8_t>(p[1] * keep));
            out.push_back(static_cast<uint8_t>(p[0] * keep));
            out.push_back(p[3]);
        }
    }
    PutAndMask(out, w, h, opaque);
    return out;
}

std::vector<uint8_t> IconImagePalettized(const PalettizedIcon& icon) {
    std::vector<uint8_t> out;
    const IndexedImage& image = icon.image;
    uint32_t size = static_cast<uint32_t>(RowStride(image.width, image.bits) * image.height +
                                          RowStride(image.width, 1) * image.height);
    PutInfoHeader(out, image.width, image.height * 2, image.bits, size,
                  static_cast<uint32_t>(image.palette.size()));
    PutPalette(out, image);
    PutIndexRows(out, image);
    PutAndMask(out, image.width, image.height, icon.opaque);
    return out;
}

} // namespace

Rgb Mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Lighten(Rgb c, float t) {
    return Mix(c, Rgb{255.0f, 255.0f, 255.0f}, t);
}

Canvas::Canvas(int width, int height, Rgb fill, float alpha)
    : m_nWidth(width), m_nHeight(height), m_colours(static_cast<size_t>(width * height), fill),
      m_alphas(static_cast<size_t>(width * height), alpha) {}

void Canvas::Set(int x, int y, Rgb c, float alpha) {
    m_colours[Index(x, y)] = c;
    m_alphas[Index(x, y)] = alpha;
}

// Source-over in straight alpha.
void Canvas::Blend(int x, int y, Rgb c, float cover) {
    int i = Index(x, y);
    float a0 = m_alphas[i];
    float a = cover + a0 * (1.0f - cover);
    if (a <= 0.0f) {
        return;
    }
    Rgb old = m_colours[i];
    float k0 = a0 * (1.0f - cover) / a;
    float k1 = cover / a;
    m_colours[i] = {old.r * k0 + c.r * k1, old.g * k0 + c.g * k1, old.b * k0 + c.b * k1};
    m_alphas[i] = a;
}

RgbImage ToRgb(const Canvas& canvas) {
    RgbImage image;
    image.width = canvas.Width();
    image.height = canvas.Height();
    image.pixels.reserve(static_cast<size_t>(image.width * image.height * 3));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            Rgb c = canvas.Colour(x, y);
            image.pixels.push_back(ToByte(c.r));
            image.pixels.push_back(ToByte(c.g));
            image.pixels.push_back(ToByte(c.b));
        }
    }
    return image;
}

RgbaImage ToRgba(const Canvas& canvas) {
    RgbaImage image;
    image.width = canvas.Width();
    image.height = canvas.Height();
    image.pixels.reserve(static_cast<size_t>(image.width * image.height * 4));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            Rgb c = canvas.Colour(x, y);
            image.pixels.push_back(ToByte(c.r));
            image.pixels.push_back(ToByte(c.g));
            image.pixels.push_back(ToByte(c.b));
            image.pixels.push_back(ToByte(canvas.Alpha(x, y) * 255.0f));
        }
    }
    return image;
}

IndexedImage Quantize(const Canvas& canvas, const std::vector<PaletteEntry>& palette, int bits) {
    IndexedImage image;
    image.width = canvas.Width();
    image.height = canvas.Height();
    image.bits = bits;
    image.palette = palette;
    image.indices.reserve(static_cast<size_t>(image.width * image.height));
    // Pictures repeat few colours (mostly flat fields), so remember matches.
    std::unordered_map<uint32_t, uint8_t> known;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            Rgb c = canvas.Colour(x, y);
            uint8_t r = ToByte(c.r);
            uint8_t g = ToByte(c.g);
            uint8_t b = ToByte(c.b);
            uint32_t key = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
            auto found = known.find(key);
            if (found == known.end()) {
                int best = 0;
                int bestDistance = 1 << 30;
                for (size_t i = 0; i < palette.size(); ++i) {
                    int dr = palette[i].r - r;
                    int dg = palette[i].g - g;
                    int db = palette[i].b - b;
                    int d = dr * dr + dg * dg + db * db;
                    if (d < bestDistance) {
                        bestDistance = d;
                        best = static_cast<int>(i);
                    }
                }
                found = known.emplace(key, static_cast<uint8_t>(best)).first;
            }
            image.indices.push_back(found->second);
        }
    }
    return image;
}

void AppendRamp(std::vector<PaletteEntry>& palette, Rgb from, Rgb to, int count) {
    for (int i = 0; i < count; ++i) {
        float t = count > 1 ? static_cast<float>(i) / static_cast<float>(count - 1) : 0.0f;
        Rgb c = Mix(from, to, t);
        palette.push_back({ToByte(c.r), ToByte(c.g), ToByte(c.b)});
    }
}

std::vector<uint8_t> EncodeBmp(const RgbImage& image) {
    int stride = RowStride(image.width, 24);
    uint32_t pixelBytes = static_cast<uint32_t>(stride * image.height);
    std::vector<uint8_t> out;
    PutFileHeader(out, 54 + pixelBytes, 54);
    PutInfoHeader(out, image.width, image.height, 24, pixelBytes, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            out.push_back(image.At(x, y, 2));
            out.push_back(image.At(x, y, 1));
            out.push_back(image.At(x, y, 0));
        }
        out.insert(out.end(), static_cast<size_t>(stride - image.width * 3), 0);
    }
    return out;
}

std::vector<uint8_t> EncodeBmp(const IndexedImage& image) {
    uint32_t colours = static_cast<uint32_t>(image.palette.size());
    uint32_t pixelOffset = 14 + 40 + 4 * colours;
    uint32_t pixelBytes = static_cast<uint32_t>(RowStride(image.width, image.bits) * image.height);
    std::vector<uint8_t> out;
    PutFileHeader(out, pixelOffset + pixelBytes, pixelOffset);
    PutInfoHeader(out, image.width, image.height, image.bits, pixelBytes, colours);
    PutPalette(out, image);
    PutIndexRows(out, image);
    return out;
}

std::vector<uint8_t> EncodeIco(const std::vector<RgbaImage>& trueColour,
                               const std::vector<PalettizedIcon>& palettized) {
    struct Entry {
        int width;
        int height;
        int bits;
        int colours;
        std::vector<uint8_t> data;
    };
    std::vector<Entry> entries;
    for (const PalettizedIcon& icon : palettized) {
        int colours = icon.image.bits < 8 ? 1 << icon.image.bits : 0;
        entries.push_back({icon.image.width, icon.image.height, icon.image.bits, colours,
                           IconImagePalettized(icon)});
    }
    for (const RgbaImage& image : trueColour) {
        entries.push_back({image.width, image.height, 32, 0, IconImageTrueColour(image)});
    }
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<uint32_t>(entries.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
    for (const Entry& e : entries) {
        out.push_back(static_cast<uint8_t>(e.width >= 256 ? 0 : e.width));
        out.push_back(static_cast<uint8_t>(e.height >= 256 ? 0 : e.height));
        out.push_back(static_cast<uint8_t>(e.colours));
        out.push_back(0);
        Put16(out, 1);
        Put16(out, static_cast<uint32_t>(e.bits));
        Put32(out, static_cast<uint32_t>(e.data.size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const Entry& e : entries) {
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    return out;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = (std::fclose(file) == 0) && ok;
    return ok;
}

} // namespace artgen

// Effect pictures: the warp coil with its soft opacity mask, and the cloud
// masks of the cloak animation.
#include "Art.h"

#include <algorithm>
#include <cmath>

namespace artgen {

namespace {

constexpr float kPi = 3.14159265358979f;

float SmoothStep(float edge0, float edge1, float x) {
    float t = std::min(1.0f, std::max(0.0f, (x - edge0) / (edge1 - edge0)));
    return t * t * (3.0f - 2.0f * t);
}

// ---- Warp coil ----------------------------------------------------------

constexpr int kCoilRings = 7;

// Approximate distance from (dx, dy) to the ellipse with semi-axes a and b.
float EllipseDistance(float dx, float dy, float a, float b) {
    float k0 = std::sqrt((dx / a) * (dx / a) + (dy / b) * (dy / b));
    float k1 = std::sqrt((dx / (a * a)) * (dx / (a * a)) + (dy / (b * b)) * (dy / (b * b)));
    return k1 > 0.0f ? k0 * (k0 - 1.0f) / k1 : -b;
}

// Light emitted at a point of the coil, in arbitrary units: a stack of rings
// seen slightly from above (their far halves dimmer), a beam through their
// centres and a faint aura, all fading out before the picture's border.
float CoilIntensity(float x, float y) {
    float cx = kCoilWidth / 2.0f;
    float dx = x - cx;
    float light = 0.0f;
    for (int k = 0; k < kCoilRings; ++k) {
        float bulge = std::sin(kPi * (k + 0.5f) / kCoilRings);
        float a = 30.0f + 14.0f * bulge;
        float b = a * 0.24f;
        float cy = 34.0f + k * 22.0f;
        float dy = y - cy;
        float d = EllipseDistance(dx, dy, a, b);
        float nearSide = 0.72f + 0.28f * std::tanh(dy / (b * 0.5f));
        float ring = 2.4f * std::exp(-(d / 1.3f) * (d / 1.3f)) +
                     0.55f * std::exp(-(d / 4.5f) * (d / 4.5f)) +
                     0.16f * std::exp(-std::fabs(d) / 11.0f);
        light += ring * nearSide * (0.65f + 0.35f * bulge);
    }
    float along = SmoothStep(16.0f, 40.0f, y) * (1.0f - SmoothStep(160.0f, 184.0f, y));
    light += along * (0.9f * std::exp(-(dx / 3.5f) * (dx / 3.5f)) +
                      0.3f * std::exp(-(dx / 12.0f) * (dx / 12.0f)));
    float ay = (y - kCoilHeight / 2.0f) / 82.0f;
    light += 0.22f * std::exp(-((dx / 44.0f) * (dx / 44.0f) + ay * ay));
    float edge = std::min(std::min(x, kCoilWidth - x), std::min(y, kCoilHeight - y));
    return light * SmoothStep(1.0f, 16.0f, edge);
}

// Light of one pixel (3 x 3 samples), as red, green, blue in 0..1: weak light
// is deep blue, strong light saturates towards white.
Rgb CoilLight(int x, int y) {
    float sum = 0.0f;
    for (int sy = 0; sy < 3; ++sy) {
        for (int sx = 0; sx < 3; ++sx) {
            sum += CoilIntensity(x + (sx + 0.5f) / 3.0f, y + (sy + 0.5f) / 3.0f);
        }
    }
    float i = sum / 9.0f;
    return {1.0f - std::exp(-i * 0.5f), 1.0f - std::exp(-i * 0.8f), 1.0f - std::exp(-i * 1.6f)};
}

// ---- Cloak clouds ---------------------------------------------------------

// Radii, in cells of the coarsest octave, of the animation's two circles.
constexpr float kDrift = 0.2f;
constexpr float kMorph = 0.35f;

class GradientNoise4 {
  public:
    explicit GradientNoise4(uint32_t seed) {
        for (int i = 0; i < 256; ++i) {
            m_perm[i] = i;
        }
        Lcg random(seed);
        for (int i = 255; i > 0; --i) {
            int j = static_cast<int>(random.Next() % static_cast<uint32_t>(i + 1));
            std::swap(m_perm[i], m_perm[j]);
        }
        for (int i = 0; i < 256; ++i) {
            m_perm[256 + i] = m_perm[i];
        }
    }

    float operator()(float x, float y, float z, float w) const {
        float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z), fw = std::floor(w);
        int ix = static_cast<int>(fx) & 255, iy = static_cast<int>(fy) & 255;
        int iz = static_cast<int>(fz) & 255, iw = static_cast<int>(fw) & 255;
        x -= fx;
        y -= fy;
        z -= fz;
        w -= fw;
        float u[4] = {Fade(x), Fade(y), Fade(z), Fade(w)};
        float corners[16];
        for (int c = 0; c < 16; ++c) {
            int bx = c & 1, by = (c >> 1) & 1, bz = (c >> 2) & 1, bw = (c >> 3) & 1;
            int h = m_perm[m_perm[m_perm[m_perm[ix + bx] + iy + by] + iz + bz] + iw + bw];
            corners[c] = Grad(h, x - bx, y - by, z - bz, w - bw);
        }
        // Collapse one axis at a time: x, then y, z, w.
        for (int axis = 0, n = 16; axis < 4; ++axis, n /= 2) {
            for (int c = 0; c < n / 2; ++c) {
                corners[c] = corners[2 * c] + u[axis] * (corners[2 * c + 1] - corners[2 * c]);
            }
        }
        return corners[0];
    }

  private:
    static float Fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }

    // One of the 32 gradients that have one zero and three unit components.
    static float Grad(int hash, float x, float y, float z, float w) {
        int h = hash & 31;
        float a = y, b = z, c = w;
        switch (h >> 3) {
        case 1:
            a = x;
            break;
        case 2:
            a = x;
            b = y;
            break;
        case 3:
            a = x;
            b = y;
            c = z;
            break;
        default:
            break;
        }
        return ((h & 4) ? -a : a) + ((h & 2) ? -b : b) + ((h & 1) ? -c : c);
    }

    int m_perm[512];
};

// Fractal sum of the noise for one pixel at animation phase `angle`. The
// phase moves the sample point round a small circle in the plane (the cloud
// drifts) and round a circle in the two extra dimensions (it changes shape);
// the fine octaves change no faster than the coarse one, so a frame still
// resembles the one before. Being a circle, the last frame leads into the
// first like any other pair.
float CloudValue(const GradientNoise4& noise, int x, int y, float angle) {
    const float cells = 3.0f; // cloud features across the picture
    float px = (x + 0.5f) / kCloakSize * cells + kDrift * std::cos(angle);
    float py = (y + 0.5f) / kCloakSize * cells + kDrift * std::sin(angle);
    float pz = kMorph * std::cos(angle);
    float pw = kMorph * std::sin(angle);
    float sum = 0.0f;
    float amplitude = 1.0f;
    float scale = 1.0f;
    for (int octave = 0; octave < 5; ++octave) {
        float shift = 19.7f * octave; // decorrelates the octaves
        sum += amplitude * noise(px * scale + shift, py * scale + shift, pz + shift, pw + shift);
        amplitude *= 0.5f;
        scale *= 2.0f;
    }
    return sum;
}

} // namespace

RgbImage DrawCoil() {
    Canvas canvas(kCoilWidth, kCoilHeight, colours::kBlack, 1.0f);
    for (int y = 0; y < kCoilHeight; ++y) {
        for (int x = 0; x < kCoilWidth; ++x) {
            // The mask carries the brightness (the strongest channel), the
            // colour picture the hue at full strength, so that colour times
            // opacity gives back the light.
            Rgb light = CoilLight(x, y);
            float peak = light.b;
            Rgb hue = peak > 1e-6f ? Rgb{light.r / peak, light.g / peak, 1.0f}
                                   : Rgb{0.5f / 1.6f, 0.8f / 1.6f, 1.0f};
            canvas.Set(x, y, {hue.r * 255.0f, hue.g * 255.0f, hue.b * 255.0f}, 1.0f);
        }
    }
    return ToRgb(canvas);
}

IndexedImage DrawCoilMask() {
    IndexedImage mask;
    mask.width = kCoilWidth;
    mask.height = kCoilHeight;
    mask.bits = 8;
    for (int i = 0; i < 256; ++i) {
        uint8_t v = static_cast<uint8_t>(i);
        mask.palette.push_back({v, v, v});
    }
    for (int y = 0; y < kCoilHeight; ++y) {
        for (int x = 0; x < kCoilWidth; ++x) {
            float opacity = CoilLight(x, y).b * 255.0f;
            mask.indices.push_back(static_cast<uint8_t>(std::lround(std::min(255.0f, opacity))));
        }
    }
    return mask;
}

// 256 near-grey entries rising evenly from kCloakMinOpacity to 255. Only the
// red component is read as opacity; green and blue run up to one step ahead
// of it so that no two entries are equal, and the whole table lies on one
// rising line. Scaling the mask mixes neighbouring entries and maps the mix to
// the nearest entry, which on such a line is a neighbour again.
std::vector<PaletteEntry> CloakPalette() {
    std::vector<PaletteEntry> palette;
    for (int i = 0; i < 256; ++i) {
        double level = kCloakMinOpacity + i * (255.0 - kCloakMinOpacity) / 255.0;
        palette.push_back({static_cast<uint8_t>(std::floor(level)),
                           static_cast<uint8_t>(std::floor(level + 1.0 / 3.0)),
                           static_cast<uint8_t>(std::floor(level + 2.0 / 3.0))});
    }
    return palette;
}

std::vector<IndexedImage> DrawCloakMasks() {
    GradientNoise4 noise(0x7AC4u);
    const size_t pixels = static_cast<size_t>(kCloakSize * kCloakSize);
    std::vector<float> values(pixels * kCloakFrames);
    for (int frame = 0; frame < kCloakFrames; ++frame) {
        float angle = 2.0f * kPi * frame / kCloakFrames;
        for (int y = 0; y < kCloakSize; ++y) {
            for (int x = 0; x < kCloakSize; ++x) {
                values[frame * pixels + y * kCloakSize + x] = CloudValue(noise, x, y, angle);
            }
        }
    }
    // One mapping for all frames, so that no frame pumps brighter than its
    // neighbours; the top percent or so saturates to full opacity.
    std::vector<float> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    float low = sorted[sorted.size() / 100];
    float high = sorted[sorted.size() * 985 / 1000];
    std::vector<IndexedImage> masks;
    for (int frame = 0; frame < kCloakFrames; ++frame) {
        IndexedImage mask;
        mask.width = kCloakSize;
        mask.height = kCloakSize;
        mask.bits = 8;
        mask.palette = CloakPalette();
        for (size_t i = 0; i < pixels; ++i) {
            float t = (values[frame * pixels + i] - low) / (high - low);
            t = std::min(1.0f, std::max(0.0f, t));
            mask.indices.push_back(static_cast<uint8_t>(std::lround(t * 255.0f)));
        }
        masks.push_back(std::move(mask));
    }
    return masks;
}

} // namespace artgen

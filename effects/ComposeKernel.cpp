#include "effects/ComposeKernel.h"

#include "effects/Processor.h"

#include <cstring>

#ifdef TACHY_DISPATCHED
#define TACHY_COMPOSE_AVX2 1
#include <immintrin.h>
#endif

// factor = alpha * 65536 / 255 equals alpha * 257 for alpha < 255 and 65536
// for 255. With m = alpha (256 for alpha 255) and p = c * m,
//   (c * factor) >> 16 == (p + (p >> 8)) >> 8 == (c * 257 * m) >> 16
// exactly, and neither p + (p >> 8) nor c * 257 exceeds 16 bits. So the
// channels fit 16-bit lanes: two of them share a 32-bit product in the
// portable loop, and the vector loop uses one unsigned high multiply.

namespace {

uint32_t Multiplier(uint32_t alpha) {
    return alpha == 255 ? 256 : alpha;
}

uint32_t AlphaOf(const uint8_t* colourTable, int index) {
    return colourTable[index * 4 + 2];
}

// Portable loop: one entry a mask index, the multiplier in the low 9 bits
// and the output alpha already in the top byte.
void BuildTable32(const uint8_t* colourTable, uint32_t* table) {
    for (int i = 0; i < 256; ++i) {
        const uint32_t alpha = AlphaOf(colourTable, i);
        table[i] = Multiplier(alpha) | (alpha << 24);
    }
}

inline uint32_t Premultiply(uint32_t b, uint32_t g, uint32_t r, uint32_t entry) {
    const uint32_t m = entry & 0x1FF;
    uint32_t rb = (b | (r << 16)) * m;
    uint32_t gg = g * m;
    rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    gg = (gg + (gg >> 8)) & 0xFF00;
    return rb | gg | (entry & 0xFF000000);
}

inline void Store32(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v >> 16);
    out[3] = static_cast<uint8_t>(v >> 24);
}

void ComposeSpan(int32_t from, int32_t to, const uint8_t* colour, const uint8_t* mask,
                 const uint32_t* table, uint8_t* out) {
    for (int32_t x = from; x < to; ++x) {
        const uint8_t* c = colour + 3 * x;
        Store32(out + 4 * x, Premultiply(c[0], c[1], c[2], table[mask[x]]));
    }
}

void ComposeRowsPortable(int32_t width, int32_t height, const uint8_t* colour, const uint8_t* mask,
                         const uint8_t* colourTable, uint8_t* frame) {
    uint32_t table[256];
    BuildTable32(colourTable, table);
    for (int32_t y = 0; y < height; ++y) {
        ComposeSpan(0, width, colour, mask, table, frame);
        colour += Dib24Stride(width);
        mask += Dib8Stride(width);
        frame += Dib32Stride(width);
    }
}

#ifdef TACHY_COMPOSE_AVX2

// Vector loop: one 16-bit multiplier a channel, four to a pixel, looked up
// per mask index. Blue, green and red get m; the alpha lane meets a colour
// of 0xFFFF and gets alpha + 1, since (0xFFFF * (a + 1)) >> 16 == a.
void BuildTable64(const uint8_t* colourTable, uint64_t* table) {
    for (int i = 0; i < 256; ++i) {
        const uint64_t alpha = AlphaOf(colourTable, i);
        const uint64_t m = Multiplier(static_cast<uint32_t>(alpha));
        table[i] = m | (m << 16) | (m << 32) | ((alpha + 1) << 48);
    }
}

// Four pixels of 3 bytes (the low 12 bytes of a 16-byte load) spread to
// four 16-bit lanes each as c * 257; the alpha lane comes out 0 here.
TACHY_DISPATCHED("avx2") inline __m256i Spread4(const uint8_t* colour) {
    const __m256i bytes =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(colour)));
    const __m256i pick = _mm256_setr_epi8(0, 0, 1, 1, 2, 2, -1, -1, 3, 3, 4, 4, 5, 5, -1, -1, //
                                          6, 6, 7, 7, 8, 8, -1, -1, 9, 9, 10, 10, 11, 11, -1, -1);
    return _mm256_shuffle_epi8(bytes, pick);
}

constexpr int32_t kChunk = 64;

// The table look-up is the costliest part of the loop; reading eight mask
// bytes at once halves the loads it needs.
inline void LookUp8(int32_t count, const uint8_t* mask, const uint64_t* table, uint64_t* mul) {
    for (int32_t i = 0; i < count; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, mask + i, 8);
        for (int k = 0; k < 8; ++k)
            mul[i + k] = table[(eight >> (8 * k)) & 0xFF];
    }
}

TACHY_DISPATCHED("avx2")
void ComposeRowAvx2(int32_t width, const uint8_t* colour, const uint8_t* mask,
                    const uint64_t* table64, const uint32_t* table32, uint8_t* out) {
    const __m256i alphaLane = _mm256_set1_epi64x(static_cast<int64_t>(0xFFFF000000000000ull));
    alignas(32) uint64_t mul[kChunk];
    int32_t x = 0;
    // Eight pixels read 28 colour bytes from 3 * x; stay inside the row's own
    // pixel bytes so that a buffer without padding after its last row is safe.
    while (3 * x + 28 <= 3 * width) {
        int32_t n = width - x;
        n = n > kChunk ? kChunk : n;
        int32_t vec = 0;
        while (vec + 8 <= n && 3 * (x + vec) + 28 <= 3 * width)
            vec += 8;
        LookUp8(vec, mask + x, table64, mul);
        for (int32_t i = 0; i < vec; i += 8) {
            const uint8_t* c = colour + 3 * (x + i);
            const __m256i c0 = _mm256_or_si256(Spread4(c), alphaLane);
            const __m256i c1 = _mm256_or_si256(Spread4(c + 12), alphaLane);
            const __m256i m0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(mul + i));
            const __m256i m1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(mul + i + 4));
            const __m256i packed =
                _mm256_packus_epi16(_mm256_mulhi_epu16(c0, m0), _mm256_mulhi_epu16(c1, m1));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * (x + i)),
                                _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
        }
        x += vec;
    }
    ComposeSpan(x, width, colour, mask, table32, out);
}

TACHY_DISPATCHED("avx2")
void ComposeRowsAvx2(int32_t width, int32_t height, const uint8_t* colour, const uint8_t* mask,
                     const uint8_t* colourTable, uint8_t* frame) {
    uint32_t table32[256];
    uint64_t table64[256];
    BuildTable32(colourTable, table32);
    BuildTable64(colourTable, table64);
    for (int32_t y = 0; y < height; ++y) {
        ComposeRowAvx2(width, colour, mask, table64, table32, frame);
        colour += Dib24Stride(width);
        mask += Dib8Stride(width);
        frame += Dib32Stride(width);
    }
}

#endif

bool ValidArguments(int32_t width, int32_t height, const uint8_t* colour, const uint8_t* mask,
                    const uint8_t* colourTable, const uint8_t* frame) {
    return width >= 1 && height >= 1 && colour && mask && colourTable && frame;
}

} // namespace

size_t Dib24Stride(int32_t width) {
    if (width < 1)
        return 0;
    return ((static_cast<size_t>(width) * 24 / 8) + 3) / 4 * 4;
}

size_t Dib8Stride(int32_t width) {
    if (width < 1)
        return 0;
    return (static_cast<size_t>(width) + 3) / 4 * 4;
}

size_t Dib32Stride(int32_t width) {
    if (width < 1)
        return 0;
    return static_cast<size_t>(width) * 4;
}

bool ComposeMaskedPixels(int32_t width, int32_t height, const uint8_t* colour, const uint8_t* mask,
                         const uint8_t* colourTable, uint8_t* frame) {
    if (!ValidArguments(width, height, colour, mask, colourTable, frame))
        return false;
#ifdef TACHY_COMPOSE_AVX2
    if (ProcessorHas(kProcessorAvx2)) {
        ComposeRowsAvx2(width, height, colour, mask, colourTable, frame);
        return true;
    }
#endif
    ComposeRowsPortable(width, height, colour, mask, colourTable, frame);
    return true;
}

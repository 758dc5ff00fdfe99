#include "effects/MaskScale.h"

#include "effects/ComposeKernel.h"
#include "effects/Processor.h"
#include "framework/CheckedArray.h"

#include <algorithm>
#include <cstring>

#ifdef TACHY_DISPATCHED
#define TACHY_MASK_SSE2 1
#include <immintrin.h>
#endif

// Every floating-point step of the filtering must be rounded to single
// precision, as the filtering it reproduces rounds it. The 32-bit build
// otherwise computes with the x87 unit, which keeps extra bits; only the
// functions marked so use SSE2 (the step positions in scalar SSE arithmetic,
// the filtering in vector instructions), and they run only after a check of
// the processor: the rest of the program must run on processors without it.
#if defined(TACHY_MASK_SSE2) && defined(__i386__)
#define TACHY_SCALAR_SSE2 TACHY_DISPATCHED("sse2,fpmath=sse")
#define TACHY_VECTOR_SSE2 TACHY_DISPATCHED("sse2")
#else
#define TACHY_SCALAR_SSE2
#define TACHY_VECTOR_SSE2
#endif

namespace {

struct Step {
    int32_t n0; // first source sample
    int32_t n1; // second source sample (the first again at the far edge)
    float delta;
};

// The sample positions of one axis. The position advances by a single
// precision increment and is clamped into the source as it goes, exactly in
// this order: the rounding of the running sum decides which samples a pixel
// uses, so it must not be computed any other way.
TACHY_SCALAR_SSE2 void AxisSteps(int32_t srcLength, int32_t dstLength, Step* steps) {
    const float inc = static_cast<float>(srcLength) / static_cast<float>(dstLength);
    const float last = static_cast<float>(srcLength - 1);
    float pos = 0.0f;
    for (int32_t i = 0; i < dstLength; ++i) {
        Step& s = steps[i];
        float p = pos;
        p = p < last ? p : last;
        p = p > 0.0f ? p : 0.0f;
        s.n0 = static_cast<int32_t>(p);
        s.n1 = s.n0 + 1 < srcLength ? s.n0 + 1 : srcLength - 1;
        s.delta = p - static_cast<float>(s.n0);
        pos = p + inc;
    }
}

// Spans are filtered in blocks of 16 bytes: every buffer that they read or
// write holds whole blocks.
constexpr size_t kBlock = 16;

size_t WholeBlocks(size_t n) {
    return (n + kBlock - 1) / kBlock * kBlock;
}

#ifdef TACHY_MASK_SSE2

// Lerp of 16 pairs at once, with the single-precision steps of the scalar
// form a + (b - a) * delta + 0.5, truncated: the conversions of small
// integers to float are exact, and the product and the two sums are rounded
// one by one.
TACHY_VECTOR_SSE2 inline __m128i Lerp16(__m128i a, __m128i b, __m128 d0, __m128 d1, __m128 d2,
                                        __m128 d3) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128i aLo = _mm_unpacklo_epi8(a, zero), aHi = _mm_unpackhi_epi8(a, zero);
    const __m128i dLo = _mm_sub_epi16(_mm_unpacklo_epi8(b, zero), aLo);
    const __m128i dHi = _mm_sub_epi16(_mm_unpackhi_epi8(b, zero), aHi);
    const __m128i a32[4] = {_mm_unpacklo_epi16(aLo, zero), _mm_unpackhi_epi16(aLo, zero),
                            _mm_unpacklo_epi16(aHi, zero), _mm_unpackhi_epi16(aHi, zero)};
    // Differences sign-extended to 32 bits.
    const __m128i d32[4] = {_mm_srai_epi32(_mm_unpacklo_epi16(dLo, dLo), 16),
                            _mm_srai_epi32(_mm_unpackhi_epi16(dLo, dLo), 16),
                            _mm_srai_epi32(_mm_unpacklo_epi16(dHi, dHi), 16),
                            _mm_srai_epi32(_mm_unpackhi_epi16(dHi, dHi), 16)};
    const __m128 delta[4] = {d0, d1, d2, d3};
    __m128i r[4];
    for (int k = 0; k < 4; ++k) {
        const __m128 sum =
            _mm_add_ps(_mm_cvtepi32_ps(a32[k]), _mm_mul_ps(_mm_cvtepi32_ps(d32[k]), delta[k]));
        r[k] = _mm_cvttps_epi32(_mm_add_ps(sum, half));
    }
    return _mm_packus_epi16(_mm_packs_epi32(r[0], r[1]), _mm_packs_epi32(r[2], r[3]));
}

// out[i] = Lerp(a[i], b[i], delta[i]) for the whole blocks that hold n.
TACHY_VECTOR_SSE2 void LerpSpan(const uint8_t* a, const uint8_t* b, const float* delta, size_t n,
                                uint8_t* out) {
    for (size_t i = 0; i < n; i += kBlock) {
        const __m128i v = Lerp16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)),
                                 _mm_loadu_ps(delta + i), _mm_loadu_ps(delta + i + 4),
                                 _mm_loadu_ps(delta + i + 8), _mm_loadu_ps(delta + i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    }
}

// out[i] = Lerp(a[i], b[i], delta) for the whole blocks that hold n.
TACHY_VECTOR_SSE2 void LerpSpanUniform(const uint8_t* a, const uint8_t* b, const float* delta,
                                       size_t n, uint8_t* out) {
    const __m128 d = _mm_load1_ps(delta);
    for (size_t i = 0; i < n; i += kBlock) {
        const __m128i v =
            Lerp16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)), d, d, d, d);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    }
}

// The same 16 at a time with eight-wide AVX2 arithmetic (the same steps,
// rounded the same way), for processors that have it.
TACHY_DISPATCHED("avx2")
inline __m128i Lerp16Avx2(const uint8_t* a, const uint8_t* b, __m256 d0, __m256 d1) {
    const __m256 half = _mm256_set1_ps(0.5f);
    __m256i r[2];
    const __m256 delta[2] = {d0, d1};
    for (int k = 0; k < 2; ++k) {
        const __m256i a32 =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + 8 * k)));
        const __m256i b32 =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 8 * k)));
        const __m256 sum =
            _mm256_add_ps(_mm256_cvtepi32_ps(a32),
                          _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(b32, a32)), delta[k]));
        r[k] = _mm256_cvttps_epi32(_mm256_add_ps(sum, half));
    }
    const __m256i words =
        _mm256_permute4x64_epi64(_mm256_packs_epi32(r[0], r[1]), _MM_SHUFFLE(3, 1, 2, 0));
    return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

TACHY_DISPATCHED("avx2")
void LerpSpanAvx2(const uint8_t* a, const uint8_t* b, const float* delta, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; i += kBlock)
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + i),
            Lerp16Avx2(a + i, b + i, _mm256_loadu_ps(delta + i), _mm256_loadu_ps(delta + i + 8)));
}

TACHY_DISPATCHED("avx2")
void LerpSpanUniformAvx2(const uint8_t* a, const uint8_t* b, const float* delta, size_t n,
                         uint8_t* out) {
    const __m256 d = _mm256_broadcast_ss(delta);
    for (size_t i = 0; i < n; i += kBlock)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), Lerp16Avx2(a + i, b + i, d, d));
}

#else

inline uint8_t Lerp(uint8_t a, uint8_t b, float delta) {
    return static_cast<uint8_t>(static_cast<float>(a) + static_cast<float>(b - a) * delta + 0.5f);
}

void LerpSpan(const uint8_t* a, const uint8_t* b, const float* delta, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; ++i)
        out[i] = Lerp(a[i], b[i], delta[i]);
}

void LerpSpanUniform(const uint8_t* a, const uint8_t* b, const float* delta, size_t n,
                     uint8_t* out) {
    for (size_t i = 0; i < n; ++i)
        out[i] = Lerp(a[i], b[i], *delta);
}

#endif

typedef void (*LerpFn)(const uint8_t* a, const uint8_t* b, const float* delta, size_t n,
                       uint8_t* out);

// The filtering for this processor: AVX2 where it has it.
void PickLerps(LerpFn* pAcross, LerpFn* pDown) {
#ifdef TACHY_MASK_SSE2
    const bool bAvx2 = ProcessorHas(kProcessorAvx2);
    *pAcross = bAvx2 ? LerpSpanAvx2 : LerpSpan;
    *pDown = bAvx2 ? LerpSpanUniformAvx2 : LerpSpanUniform;
#else
    *pAcross = LerpSpan;
    *pDown = LerpSpanUniform;
#endif
}

// Load and store of 4 bytes anywhere.
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

struct HeldRow {
    CheckedArray<uint8_t> bytes; // blue, green, red of each destination column
    int32_t nRow = -1;           // the source row they hold
};

// Rows of colours are kept as blue, green, red, 3 bytes a pixel, with one
// spare byte at the end: a pixel is then read or written as 4 bytes, and
// read, its low 3 bytes are the key red << 16 | green << 8 | blue. False,
// writing nothing, when its buffers cannot be had.
bool ScaleRows(int32_t srcWidth, int32_t srcHeight, const uint8_t* src, const uint8_t* colourTable,
               int32_t nColours, int32_t dstWidth, int32_t dstHeight, uint8_t* dst,
               NearestEntryCache& nearest) {
    // Colours by index; indices past the table are black. Takes no floating
    // point: the filtering itself is done by the functions above.
    uint32_t colours[256] = {};
    for (int32_t i = 0; i < nColours; ++i)
        colours[i] = Load32(colourTable + i * 4) & 0xFFFFFF;
    const size_t w = static_cast<size_t>(dstWidth);
    const size_t nBytes = 3 * w;
    // Room for the spare byte, in whole blocks.
    const size_t nRoom = WholeBlocks(nBytes + 1);
    CheckedArray<Step> cols(w), rows(static_cast<size_t>(dstHeight));
    CheckedArray<float> acrossDelta(nRoom);
    // A source row filtered across. Destination rows walk the source rows in
    // order and use two neighbours, so two rows in hand serve them all.
    HeldRow held[2];
    CheckedArray<uint8_t> left(nRoom), right(nRoom), down(nRoom);
    if (!cols.Ok() || !rows.Ok() || !acrossDelta.Ok() || !held[0].bytes.Allocate(nRoom) ||
        !held[1].bytes.Allocate(nRoom) || !left.Ok() || !right.Ok() || !down.Ok())
        return false;
    AxisSteps(srcWidth, dstWidth, cols.data());
    AxisSteps(srcHeight, dstHeight, rows.data());
    for (size_t i = 0; i < nBytes; ++i)
        acrossDelta[i] = cols[i / 3].delta;
    const size_t srcStride = Dib8Stride(srcWidth);
    const size_t dstStride = Dib8Stride(dstWidth);
    LerpFn lerpAcross = nullptr, lerpDown = nullptr;
    PickLerps(&lerpAcross, &lerpDown);

    auto across = [&](int32_t n, int32_t keep) -> const uint8_t* {
        for (HeldRow& h : held)
            if (h.nRow == n)
                return h.bytes.data();
        HeldRow& h = held[0].nRow == keep ? held[1] : held[0];
        // The steps count rows from the top; the arrays are stored bottom row
        // first.
        const uint8_t* in = src + static_cast<size_t>(srcHeight - 1 - n) * srcStride;
        // Plain pointers: a byte store could change what a vector holds, as
        // far as the compiler knows, and it would reload them every time.
        const Step* step = cols.data();
        uint8_t* const l = left.data();
        uint8_t* const r = right.data();
        for (size_t x = 0; x < w; ++x) {
            Store32(l + 3 * x, colours[in[step[x].n0]]);
            Store32(r + 3 * x, colours[in[step[x].n1]]);
        }
        lerpAcross(l, r, acrossDelta.data(), nBytes, h.bytes.data());
        h.nRow = n;
        return h.bytes.data();
    };

    for (int32_t y = 0; y < dstHeight; ++y) {
        const Step& ry = rows[static_cast<size_t>(y)];
        const uint8_t* top = across(ry.n0, -1);
        const uint8_t* bottom = across(ry.n1, ry.n0);
        const uint8_t* colour = down.data();
        lerpDown(top, bottom, &ry.delta, nBytes, down.data());
        uint8_t* out = dst + static_cast<size_t>(dstHeight - 1 - y) * dstStride;
        // Asking for every pixel is cheaper than asking only when the colour
        // changes: the change is too irregular to predict.
        for (size_t x = 0; x < w; ++x)
            out[x] = nearest.Find(Load32(colour + 3 * x) & 0xFFFFFF);
    }
    return true;
}

bool HaveFloatSteps() {
#if defined(TACHY_MASK_SSE2) && defined(__i386__)
    return ProcessorHas(kProcessorSse2);
#else
    return true;
#endif
}

} // namespace

NearestEntryCache::NearestEntryCache()
    : m_table(), m_nColours(0), m_free(0), m_slots(), m_cellReady(), m_cellCounts(), m_cells() {}

NearestEntryCache::~NearestEntryCache() {
    ForgetCells();
}

void NearestEntryCache::ForgetCells() {
    for (uint32_t i = 0; i < kCells; ++i) {
        delete[] m_cells[i];
        m_cells[i] = nullptr;
        m_cellReady[i] = 0;
    }
}

void NearestEntryCache::UseTable(const uint8_t* colourTable, int32_t nColours) {
    const size_t nBytes = static_cast<size_t>(nColours) * 4;
    if (nColours == m_nColours && std::memcmp(m_table, colourTable, nBytes) == 0)
        return;
    std::memcpy(m_table, colourTable, nBytes);
    m_nColours = nColours;
    ForgetCells();
    m_free = Search(0, 0, 0);
    std::fill(m_slots, m_slots + kSlots, m_free);
}

// Colours that share a home slot go to the next free ones (a few at most);
// past them the home slot is overwritten, which only costs another search.
uint8_t NearestEntryCache::Miss(uint32_t rgb) {
    const uint32_t home = Slot(rgb);
    uint32_t free = home;
    for (uint32_t k = 0; k < kProbes; ++k) {
        const uint32_t probe = (home + k) & (kSlots - 1);
        if (m_slots[probe] >> 8 == rgb)
            return static_cast<uint8_t>(m_slots[probe]);
        if (m_slots[probe] == m_free) {
            free = probe;
            break;
        }
    }
    const uint8_t index = Search(int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
    m_slots[free] = rgb << 8 | index;
    return index;
}

namespace {

uint32_t AxisNear(int e, int lo, int hi) {
    const int d = e < lo ? lo - e : (e > hi ? e - hi : 0);
    return uint32_t(d * d);
}

uint32_t AxisFar(int e, int lo, int hi) {
    const int d = e - lo > hi - e ? e - lo : hi - e;
    return uint32_t(d * d);
}

} // namespace

// The colour cube is cut into cells; for each cell only the entries that can
// be nearest to some colour in it are searched (those whose least distance to
// the cell is within the smallest greatest distance of any entry), in table
// order, so the answer is the full search's. When the memory for a cell's
// list cannot be had, the answer is null: every entry is searched.
const uint8_t* NearestEntryCache::CandidatesOf(int r, int g, int b, int* pnCount) {
    const int cr = r >> kCellShift, cg = g >> kCellShift, cb = b >> kCellShift;
    const size_t nCell = (size_t(cr) * kCellsPerAxis + size_t(cg)) * kCellsPerAxis + size_t(cb);
    if (!m_cellReady[nCell]) {
        const int span = (1 << kCellShift) - 1;
        const int lo[3] = {cb << kCellShift, cg << kCellShift, cr << kCellShift};
        uint32_t bound = 0xFFFFFFFFu;
        uint32_t near[256];
        for (int i = 0; i < m_nColours; ++i) {
            const uint8_t* e = m_table + i * 4;
            uint32_t far = 0;
            near[i] = 0;
            for (int k = 0; k < 3; ++k) {
                far += AxisFar(e[k], lo[k], lo[k] + span);
                near[i] += AxisNear(e[k], lo[k], lo[k] + span);
            }
            bound = far < bound ? far : bound;
        }
        int nCount = 0;
        for (int i = 0; i < m_nColours; ++i)
            nCount += near[i] <= bound;
        uint8_t* pList = new (std::nothrow) uint8_t[nCount];
        if (!pList) {
            *pnCount = m_nColours;
            return nullptr;
        }
        nCount = 0;
        for (int i = 0; i < m_nColours; ++i)
            if (near[i] <= bound)
                pList[nCount++] = static_cast<uint8_t>(i);
        m_cells[nCell] = pList;
        m_cellCounts[nCell] = static_cast<uint16_t>(nCount);
        m_cellReady[nCell] = 1;
    }
    *pnCount = m_cellCounts[nCell];
    return m_cells[nCell];
}

uint8_t NearestEntryCache::Search(int r, int g, int b) {
    int best = 0;
    uint32_t bestDiff = 0xFFFFFFFFu;
    int nCount = 0;
    const uint8_t* pCandidates = CandidatesOf(r, g, b, &nCount);
    for (int k = 0; k < nCount; ++k) {
        const uint8_t i = pCandidates ? pCandidates[k] : static_cast<uint8_t>(k);
        const uint8_t* e = m_table + i * 4;
        const int dr = r - e[2], dg = g - e[1], db = b - e[0];
        const uint32_t diff = uint32_t(dr * dr + dg * dg + db * db);
        if (diff == 0)
            return i;
        if (diff < bestDiff) {
            bestDiff = diff;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

bool ScaleMaskSmooth(int32_t srcWidth, int32_t srcHeight, const uint8_t* src,
                     const uint8_t* colourTable, int32_t nColours, int32_t dstWidth,
                     int32_t dstHeight, uint8_t* dst, NearestEntryCache* cache) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !src || !colourTable ||
        !dst || nColours < 1 || nColours > 256 || !HaveFloatSteps())
        return false;
    // A cache of the call's own is large: it is not put on the stack.
    CheckedArray<NearestEntryCache> own(cache ? 0 : 1);
    NearestEntryCache* pNearest = cache ? cache : own.data();
    if (!pNearest)
        return false;
    pNearest->UseTable(colourTable, nColours);
    return ScaleRows(srcWidth, srcHeight, src, colourTable, nColours, dstWidth, dstHeight, dst,
                     *pNearest);
}

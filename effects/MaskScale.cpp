#include "effects/MaskScale.h"

#include "effects/ComposeKernel.h"

#include <vector>

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
std::vector<Step> AxisSteps(int32_t srcLength, int32_t dstLength) {
    std::vector<Step> steps(static_cast<size_t>(dstLength));
    const float inc = static_cast<float>(srcLength) / static_cast<float>(dstLength);
    const float last = static_cast<float>(srcLength - 1);
    float pos = 0.0f;
    for (Step& s : steps) {
        float p = pos;
        p = p < last ? p : last;
        p = p > 0.0f ? p : 0.0f;
        s.n0 = static_cast<int32_t>(p);
        s.n1 = s.n0 + 1 < srcLength ? s.n0 + 1 : srcLength - 1;
        s.delta = p - static_cast<float>(s.n0);
        pos = p + inc;
    }
    return steps;
}

inline uint8_t Lerp(uint8_t a, uint8_t b, float delta) {
    return static_cast<uint8_t>(static_cast<float>(a) + static_cast<float>(b - a) * delta + 0.5f);
}

// Nearest colour-table entry by squared distance, the first of equals
// winning. The colour cube is cut into cells; for each cell only the entries
// that can be nearest to some colour in it are searched (those whose least
// distance to the cell is within the smallest greatest distance of any
// entry), in table order, so the answer is the full search's. Answers are
// also remembered per colour in a direct-mapped cache.
class NearestEntry {
  public:
    NearestEntry(const uint8_t* table, int32_t nColours)
        : m_table(table), m_nColours(nColours), m_tags(kCacheSize, 0xFFFFFFFFu),
          m_entries(kCacheSize), m_cells(kCells) {}

    uint8_t operator()(uint8_t r, uint8_t g, uint8_t b) {
        const uint32_t key = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
        const uint32_t slot = (key * 2654435761u) >> 16;
        if (m_tags[slot] != key) {
            m_tags[slot] = key;
            m_entries[slot] = Search(r, g, b);
        }
        return m_entries[slot];
    }

  private:
    static const size_t kCacheSize = 65536;
    static const int kCellShift = 4; // cells of 16 x 16 x 16 colours
    static const int kCellsPerAxis = 256 >> kCellShift;
    static const size_t kCells = kCellsPerAxis * kCellsPerAxis * kCellsPerAxis;

    struct Cell {
        bool bReady = false;
        std::vector<uint8_t> candidates;
    };

    static uint32_t AxisNear(int e, int lo, int hi) {
        const int d = e < lo ? lo - e : (e > hi ? e - hi : 0);
        return uint32_t(d * d);
    }
    static uint32_t AxisFar(int e, int lo, int hi) {
        const int d = e - lo > hi - e ? e - lo : hi - e;
        return uint32_t(d * d);
    }

    const Cell& CellOf(int r, int g, int b) {
        const int cr = r >> kCellShift, cg = g >> kCellShift, cb = b >> kCellShift;
        Cell& cell =
            m_cells[(size_t(cr) * kCellsPerAxis + size_t(cg)) * kCellsPerAxis + size_t(cb)];
        if (cell.bReady)
            return cell;
        const int span = (1 << kCellShift) - 1;
        const int lo[3] = {cb << kCellShift, cg << kCellShift, cr << kCellShift};
        uint32_t bound = 0xFFFFFFFFu;
        for (int i = 0; i < m_nColours; ++i) {
            const uint8_t* e = m_table + i * 4;
            uint32_t far = 0;
            for (int k = 0; k < 3; ++k)
                far += AxisFar(e[k], lo[k], lo[k] + span);
            bound = far < bound ? far : bound;
        }
        for (int i = 0; i < m_nColours; ++i) {
            const uint8_t* e = m_table + i * 4;
            uint32_t near = 0;
            for (int k = 0; k < 3; ++k)
                near += AxisNear(e[k], lo[k], lo[k] + span);
            if (near <= bound)
                cell.candidates.push_back(static_cast<uint8_t>(i));
        }
        cell.bReady = true;
        return cell;
    }

    uint8_t Search(int r, int g, int b) {
        int best = 0;
        uint32_t bestDiff = 0xFFFFFFFFu;
        for (uint8_t i : CellOf(r, g, b).candidates) {
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

    const uint8_t* m_table;
    int32_t m_nColours;
    std::vector<uint32_t> m_tags;
    std::vector<uint8_t> m_entries;
    std::vector<Cell> m_cells;
};

} // namespace

bool ScaleMaskSmooth(int32_t srcWidth, int32_t srcHeight, const uint8_t* src,
                     const uint8_t* colourTable, int32_t nColours, int32_t dstWidth,
                     int32_t dstHeight, uint8_t* dst) {
    if (srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1 || !src || !colourTable ||
        !dst || nColours < 1 || nColours > 256)
        return false;
    // Colours by index; indices past the table are black.
    uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
    for (int32_t i = 0; i < nColours; ++i) {
        blue[i] = colourTable[i * 4];
        green[i] = colourTable[i * 4 + 1];
        red[i] = colourTable[i * 4 + 2];
    }
    const std::vector<Step> cols = AxisSteps(srcWidth, dstWidth);
    const std::vector<Step> rows = AxisSteps(srcHeight, dstHeight);
    const size_t srcStride = Dib8Stride(srcWidth);
    const size_t dstStride = Dib8Stride(dstWidth);
    NearestEntry nearest(colourTable, nColours);
    // The steps count rows from the top; the arrays are stored bottom row first.
    // The horizontal step of a source row is the same for every destination
    // row that uses it: work it out once per source row (red, green, blue
    // per destination column).
    const size_t nChannels = static_cast<size_t>(dstWidth) * 3;
    std::vector<uint8_t> across(static_cast<size_t>(srcHeight) * nChannels);
    std::vector<bool> done(static_cast<size_t>(srcHeight), false);
    // The colours either side of each destination channel are gathered first
    // so that the filtering itself is a plain loop (vectorised, same steps).
    std::vector<uint8_t> left(nChannels), right(nChannels);
    std::vector<float> acrossDelta(nChannels);
    for (size_t i = 0; i < nChannels; ++i)
        acrossDelta[i] = cols[i / 3].delta;
    auto rowAcross = [&](int32_t n) -> const uint8_t* {
        uint8_t* row = across.data() + static_cast<size_t>(n) * nChannels;
        if (done[static_cast<size_t>(n)])
            return row;
        const uint8_t* in = src + static_cast<size_t>(srcHeight - 1 - n) * srcStride;
        for (int32_t x = 0; x < dstWidth; ++x) {
            const Step& cx = cols[static_cast<size_t>(x)];
            const uint8_t i0 = in[cx.n0], i1 = in[cx.n1];
            left[x * 3] = red[i0], left[x * 3 + 1] = green[i0], left[x * 3 + 2] = blue[i0];
            right[x * 3] = red[i1], right[x * 3 + 1] = green[i1], right[x * 3 + 2] = blue[i1];
        }
        for (size_t i = 0; i < nChannels; ++i)
            row[i] = Lerp(left[i], right[i], acrossDelta[i]);
        done[static_cast<size_t>(n)] = true;
        return row;
    };
    std::vector<uint8_t> down(nChannels);
    for (int32_t y = 0; y < dstHeight; ++y) {
        const Step& ry = rows[static_cast<size_t>(y)];
        const uint8_t* top = rowAcross(ry.n0);
        const uint8_t* bottom = rowAcross(ry.n1);
        // A plain loop over the row's channels, which the compiler vectorises
        // with the same single-precision steps.
        for (size_t i = 0; i < down.size(); ++i)
            down[i] = Lerp(top[i], bottom[i], ry.delta);
        uint8_t* out = dst + static_cast<size_t>(dstHeight - 1 - y) * dstStride;
        // Neighbouring pixels mostly share their colour: ask only on a change.
        uint32_t last = 0xFFFFFFFFu;
        uint8_t index = 0;
        for (int32_t x = 0; x < dstWidth; ++x) {
            const uint8_t r = down[x * 3], g = down[x * 3 + 1], b = down[x * 3 + 2];
            const uint32_t colour = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
            if (colour != last) {
                last = colour;
                index = nearest(r, g, b);
            }
            out[x] = index;
        }
    }
    return true;
}

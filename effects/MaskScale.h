// Smooth scaling of an 8-bit palettized mask to a window's size, giving the
// same indices as the system's own scaled bitmap load does under Wine
// (bilinear filtering of the colour-table colours in single precision, then
// the nearest colour-table entry), only much faster: the interpolation steps
// are worked out once per row and column and the nearest-entry search once
// per distinct colour. Platform-free so that it can be checked natively.
#pragma once
#include <cstddef>
#include <cstdint>

// The nearest entry of one colour table for any colour, remembered. All the
// cloak's masks share one table, so one of these serves every mask of every
// cloak; it starts over by itself when it is handed another table. Not for
// use by two threads at once.
class NearestEntryCache {
  public:
    NearestEntryCache();
    ~NearestEntryCache();
    NearestEntryCache(const NearestEntryCache&) = delete;
    NearestEntryCache& operator=(const NearestEntryCache&) = delete;
    // Makes the cache answer for this table (nColours entries of 4 bytes,
    // blue, green, red, reserved); keeps what it knows when the table is the
    // one it already has.
    void UseTable(const uint8_t* colourTable, int32_t nColours);
    // The index of the nearest entry by squared distance, the first of equals
    // winning.
    uint8_t Find(uint32_t rgb) {
        const uint32_t entry = m_slots[Slot(rgb)];
        if (entry >> 8 == rgb)
            return static_cast<uint8_t>(entry);
        return Miss(rgb);
    }

  private:
    static const int kSlotBits = 13;
    static const uint32_t kSlots = 1u << kSlotBits;
    static const uint32_t kProbes = 8;
    static const int kCellShift = 4; // cells of 16 x 16 x 16 colours
    static const int kCellsPerAxis = 256 >> kCellShift;
    static const uint32_t kCells = kCellsPerAxis * kCellsPerAxis * kCellsPerAxis;
    static uint32_t Slot(uint32_t rgb) { return (rgb * 2654435761u) >> (32 - kSlotBits); }
    uint8_t Miss(uint32_t rgb);
    uint8_t Search(int r, int g, int b);
    const uint8_t* CandidatesOf(int r, int g, int b, int* pnCount);
    void ForgetCells();

    uint8_t m_table[256 * 4];
    int32_t m_nColours;
    uint32_t m_free; // the content of a free slot
    // Colour << 8 | its index. A free slot holds black's answer, which is
    // right for black wherever it is found and matches no other colour.
    uint32_t m_slots[kSlots];
    // Per cell of the colour cube: whether its candidates are known, and the
    // entries that can be nearest to some colour in it, in table order.
    uint8_t m_cellReady[kCells];
    uint16_t m_cellCounts[kCells];
    uint8_t* m_cells[kCells];
};

// Scales srcWidth x srcHeight indices (rows of Dib8Stride(srcWidth) bytes,
// bottom row first) to dstWidth x dstHeight indices in dst (rows of
// Dib8Stride(dstWidth) bytes, bottom row first). colourTable holds nColours
// (1 to 256) entries of 4 bytes in RGBQUAD order (blue, green, red,
// reserved); an index at or past nColours counts as black. The nearest
// entries are looked up in cache (made to use this table), or in a cache of
// the call's own when it is null. Returns false, writing nothing, when a size
// is below 1, a pointer is null or, in the 32-bit build, the processor lacks
// SSE2 (the filtering must round each step to single precision, which the
// x87 unit does not do) or memory for the work runs out. Filters with AVX2
// where the processor has it (ProcessorHas); both give identical indices.
bool ScaleMaskSmooth(int32_t srcWidth, int32_t srcHeight, const uint8_t* src,
                     const uint8_t* colourTable, int32_t nColours, int32_t dstWidth,
                     int32_t dstHeight, uint8_t* dst, NearestEntryCache* cache = nullptr);

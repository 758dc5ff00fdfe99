// The pixel scan behind the colour-keyed window region: every horizontal run
// of pixels that differ from the key colour becomes one rectangle, gathered
// in a block laid out as region data. The Win32 side supplies the pixels
// (GetPixel on a memory DC) and unites the rectangles into its region.
#pragma once
#include "framework/Portable.h"

#include <cstddef>
#include <cstdint>

// Header of the rectangle block, laid out like RGNDATAHEADER.
struct RectBlockHeader {
    uint32_t dwSize;   // 32
    uint32_t iType;    // 1, rectangles
    uint32_t nCount;   // rectangles so far
    uint32_t nRgnSize; // 0
    Rect32 rcBound;    // left empty
};
static_assert(sizeof(RectBlockHeader) == 32, "RGNDATAHEADER layout");

// A growable block of one header followed by rectangles. It starts with room
// for 40 rectangles and grows by 40 at a time, copying the whole old block.
// Memory comes from malloc; a failed allocation is reported by the result.
class RectBlock {
  public:
    static constexpr uint32_t kGrowth = 40;

    RectBlock() = default;
    ~RectBlock() { Free(); }
    RectBlock(const RectBlock&) = delete;
    RectBlock& operator=(const RectBlock&) = delete;

    // Drops any earlier block and allocates an empty one with room for
    // kGrowth rectangles, zero-filled with the header set. False if out of
    // memory (the block is then empty).
    bool Reset();
    // Appends a rectangle, growing the block when it is full. False, with the
    // block unchanged, if there is no block or it cannot grow.
    bool Append(const Rect32& rect);
    void Free();

    uint32_t Count() const { return m_pBlock ? Header()->nCount : 0; }
    uint32_t Capacity() const { return m_nCapacity; }
    // The rectangles in the order they were appended; null without a block.
    const Rect32* Rects() const;
    const RectBlockHeader* Header() const { return static_cast<const RectBlockHeader*>(m_pBlock); }
    // Size of the allocated block: header plus Capacity() rectangles.
    size_t Bytes() const;

  private:
    RectBlockHeader* MutableHeader() { return static_cast<RectBlockHeader*>(m_pBlock); }
    bool Grow();

    void* m_pBlock = nullptr;
    uint32_t m_nCapacity = 0;
};

// Reads the 24-bit colour (0x00BBGGRR) of pixel (x, y), y counted from the top.
using PixelReader = uint32_t (*)(void* ctx, int32_t x, int32_t y);

// Scans a width x height picture from the bottom row up (so the rectangles
// come out bottom row first, left to right) and collects one rectangle
// {left, y, right, y + 1} per run of inside pixels, a pixel being inside
// when its low 24 bits differ from those of the key. `out` is reset first.
// False if memory runs out; `out` is then freed. A size below 1 scans nothing.
bool ScanKeyedRuns(int32_t width, int32_t height, uint32_t key, PixelReader read, void* ctx,
                   RectBlock& out);

// The same with any callable taking (x, y).
template <class Read>
bool ScanKeyedRuns(int32_t width, int32_t height, uint32_t key, const Read& read, RectBlock& out) {
    PixelReader thunk = [](void* ctx, int32_t x, int32_t y) -> uint32_t {
        return (*static_cast<const Read*>(ctx))(x, y);
    };
    return ScanKeyedRuns(width, height, key, thunk,
                         const_cast<void*>(static_cast<const void*>(&read)), out);
}

#include "controls/KeyedRegionScan.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kColourBits = 0xFFFFFF;

size_t BlockBytes(uint32_t capacity) {
    return sizeof(RectBlockHeader) + static_cast<size_t>(capacity) * sizeof(Rect32);
}

} // namespace

bool RectBlock::Reset() {
    Free();
    m_pBlock = std::calloc(1, BlockBytes(kGrowth));
    if (!m_pBlock)
        return false;
    m_nCapacity = kGrowth;
    RectBlockHeader* header = MutableHeader();
    header->dwSize = sizeof(RectBlockHeader);
    header->iType = 1;
    return true;
}

void RectBlock::Free() {
    std::free(m_pBlock);
    m_pBlock = nullptr;
    m_nCapacity = 0;
}

const Rect32* RectBlock::Rects() const {
    if (!m_pBlock)
        return nullptr;
    return reinterpret_cast<const Rect32*>(static_cast<const uint8_t*>(m_pBlock) +
                                           sizeof(RectBlockHeader));
}

size_t RectBlock::Bytes() const {
    return m_pBlock ? BlockBytes(m_nCapacity) : 0;
}

bool RectBlock::Grow() {
    if (m_nCapacity > std::numeric_limits<uint32_t>::max() - kGrowth)
        return false;
    const uint32_t capacity = m_nCapacity + kGrowth;
    // On a 32-bit build the byte count would wrap long before nCount does.
    if (capacity > (std::numeric_limits<size_t>::max() - sizeof(RectBlockHeader)) / sizeof(Rect32))
        return false;
    void* bigger = std::malloc(BlockBytes(capacity));
    if (!bigger)
        return false;
    std::memcpy(bigger, m_pBlock, BlockBytes(m_nCapacity));
    std::free(m_pBlock);
    m_pBlock = bigger;
    m_nCapacity = capacity;
    return true;
}

bool RectBlock::Append(const Rect32& rect) {
    if (!m_pBlock)
        return false;
    if (Header()->nCount >= m_nCapacity && !Grow())
        return false;
    RectBlockHeader* header = MutableHeader();
    Rect32* rects = reinterpret_cast<Rect32*>(header + 1);
    std::memcpy(&rects[header->nCount], &rect, sizeof rect);
    header->nCount += 1;
    return true;
}

namespace {

// Appends the runs of row y; false if the block cannot take them.
bool ScanRow(int32_t width, int32_t y, uint32_t key, PixelReader read, void* ctx, RectBlock& out) {
    int32_t runStart = -1;
    for (int32_t x = 0; x < width; ++x) {
        const bool inside = (read(ctx, x, y) & kColourBits) != key;
        if (inside && runStart < 0)
            runStart = x;
        if (!inside && runStart >= 0) {
            if (!out.Append({runStart, y, x, y + 1}))
                return false;
            runStart = -1;
        }
    }
    return runStart < 0 || out.Append({runStart, y, width, y + 1});
}

} // namespace

bool ScanKeyedRuns(int32_t width, int32_t height, uint32_t key, PixelReader read, void* ctx,
                   RectBlock& out) {
    if (!out.Reset())
        return false;
    if (width < 1 || height < 1)
        return true;
    if (!read) {
        out.Free();
        return false;
    }
    for (int32_t i = 0; i < height; ++i) {
        if (!ScanRow(width, height - 1 - i, key & kColourBits, read, ctx, out)) {
            out.Free();
            return false;
        }
    }
    return true;
}

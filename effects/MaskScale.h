// Smooth scaling of an 8-bit palettized mask to a window's size, giving the
// same indices as the system's own scaled bitmap load does under Wine
// (bilinear filtering of the colour-table colours in single precision, then
// the nearest colour-table entry), only much faster: the interpolation steps
// are worked out once per row and column and the nearest-entry search once
// per distinct colour. Platform-free so that it can be checked natively.
#pragma once
#include <cstddef>
#include <cstdint>

// Scales srcWidth x srcHeight indices (rows of Dib8Stride(srcWidth) bytes,
// bottom row first) to dstWidth x dstHeight indices in dst (rows of
// Dib8Stride(dstWidth) bytes, bottom row first). colourTable holds nColours
// (1 to 256) entries of 4 bytes in RGBQUAD order (blue, green, red,
// reserved); an index at or past nColours counts as black. Returns false,
// writing nothing, when a size is below 1 or a pointer is null.
bool ScaleMaskSmooth(int32_t srcWidth, int32_t srcHeight, const uint8_t* src,
                     const uint8_t* colourTable, int32_t nColours, int32_t dstWidth,
                     int32_t dstHeight, uint8_t* dst);

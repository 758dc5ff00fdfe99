// Pixel work of the premultiplied frame: a 24-bit colour picture and an 8-bit
// palettized mask become the 32-bit image that a layered window shows with
// per-pixel alpha. Kept free of the window system so that it can be checked
// exhaustively and timed natively; the Win32 side only fetches the pixel
// arrays and hands them in.
#pragma once
#include <cstddef>
#include <cstdint>

// Row strides of the DIB pixel arrays. Every row is padded to a multiple of
// 4 bytes except in the 32-bit frame, whose rows are exactly width * 4 bytes.
// A width below 1 gives 0.
size_t Dib24Stride(int32_t width);
size_t Dib8Stride(int32_t width);
size_t Dib32Stride(int32_t width);

// Composes width x height pixels.
//   colour:      Dib24Stride(width) * height bytes, pixels blue, green, red;
//   mask:        Dib8Stride(width) * height bytes, one colour-table index a pixel;
//   colourTable: 256 entries of 4 bytes in RGBQUAD order (blue, green, red,
//                reserved); the red byte of an entry is the pixel's opacity;
//   frame:       Dib32Stride(width) * height bytes, written as blue, green, red,
//                alpha with the colour premultiplied by alpha.
// Rows are taken and written in the order they are stored (for DIBs bottom
// row first). Only the pixel bytes are read: the padding at the end of the
// colour and mask rows is never touched, so a buffer may end right after the
// last pixel of its last row. Each channel becomes
//   (c * (alpha * 65536 / 255)) >> 16   (integer division, truncated),
// and alpha is kept as it is. Returns false, without writing anything, when
// a size is below 1 or a pointer is null. Picks the vector loop where the
// processor has AVX2 (ProcessorHas); both loops give identical bytes.
bool ComposeMaskedPixels(int32_t width, int32_t height, const uint8_t* colour, const uint8_t* mask,
                         const uint8_t* colourTable, uint8_t* frame);

// Colour reduction: turns a bitmap of any pixel format into an 8-bit picture with a palette of
// at most 256 colours, handed back as an in-memory BMP file (14-byte file header, 40-byte
// information header, 256 palette entries, bottom-up rows; the rows start at offset 1078).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/stream.h"

namespace orn {

class TBitmap;

enum class TReductionMethod : uint8_t {
  rmPopularity,    // the most frequent colours of the picture
  rmMedianCut,     // box averages of a median cut over 4-bit colour cells
  rmUniform784,    // 7 red x 8 green x 4 blue levels
  rmUniform666,    // 6 x 6 x 6 levels
  rmChannelCycle,  // three 64-step ramps; each pixel keeps one channel
  rmGreyScale,     // 256 grey levels
};

// The method used for frames that do not ask for grey scale. The codec reads it and never
// changes it.
extern TReductionMethod DefaultReduction;

// Offset of the pixel rows in every result stream.
constexpr int64_t ReducedPixelOffset = 14 + 40 + 256 * 4;

// Reduces Bitmap with Method. Raises EInvalidGraphic "Bitmap image is not valid" for a bitmap
// without a bitmap object. The caller owns the result, positioned at 0.
std::unique_ptr<TMemoryStream> ReduceBitmap(TBitmap& Bitmap, TReductionMethod Method);

// The same over a picture already read as 24-bit rows: bottom-up, blue-green-red pixels, each
// row padded to a multiple of four bytes. Rows must hold Height such rows.
std::unique_ptr<TMemoryStream> ReduceRGBRows(int Width, int Height,
                                             const std::vector<uint8_t>& Rows,
                                             TReductionMethod Method);

// Index of the level nearest to Value among Count levels spread evenly over 0..255 (Count is
// 4, 6, 7 or 8); the lower index when two are equally near.
int NearestLevel(int Count, uint8_t Value);
// Value of level Index among Count levels: Index * 255 / (Count - 1), rounded half up.
uint8_t LevelValue(int Count, int Index);

}  // namespace orn

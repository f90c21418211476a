// Decoding of GIF LZW image data into the pixel rows of a bottom-up indexed bitmap.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/stream.h"

namespace orn {

enum class TDecodeStage : uint8_t { dsStarting, dsRunning, dsEnding };

// Receives the decoder's progress: one starting report (0 %), one running report after every
// code, one ending report (100 % and an empty message on success, 0 % and the error text on
// failure).
using TDecodeProgress =
    std::function<void(TDecodeStage Stage, int Percent, const std::string& Message)>;

// Bytes per row of a bitmap Width pixels wide at Depth bits per pixel, padded to 32 bits.
constexpr int64_t DIBStride(int64_t Width, int Depth) {
  return ((Width * Depth + 31) / 32) * 4;
}

// The row that follows Row in GIF interlaced order (every 8th row from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1). Pass (0..3) is carried between calls; a result at or
// beyond Height means the last row has been passed.
int NextInterlacedRow(int Row, int Height, int& Pass);

// Decodes one frame's image data: the minimum-code-size byte, then sub-blocks, from the
// stream's current position. Pixels go into Rows, which holds Height rows of
// DIBStride(Width, Depth) bytes stored bottom-up (logical row 0 is the last buffer row); Depth
// is 1, 4 or 8 and pixels are packed leftmost in the most significant bits. PixelBits (the
// frame's bits per pixel, at most Depth) gives the pixel mask. Progress may be null.
//
// Damaged data: a minimum code size outside 2..9 or a runaway code chain raises
// EInvalidGraphicOperation, or with Lenient set marks DataCorrupt and stops decoding where
// the damage starts. Data that end before the last row raise "Stream read error" in either
// mode. A missing minimum-code-size byte is the stream's own read error.
void DecodeLZW(TStream& CodeStream, int Width, int Height, int Depth, bool Interlaced,
               const TDecodeProgress* Progress, bool& DataCorrupt, std::span<uint8_t> Rows,
               int PixelBits, bool Lenient);

}  // namespace orn

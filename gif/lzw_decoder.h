// Decoding of GIF LZW image data into the pixel rows of a bottom-up bitmap: indexed rows of 1,
// 4 or 8 bits per pixel, or 32-bit rows written straight through the frame's colours.
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

// The frame a code stream describes and the rows it is decoded into.
struct TLZWFrame {
  int Width = 0;
  int Height = 0;
  int Depth = 8;      // bits per stored pixel of index rows: 1, 4 or 8
  int PixelBits = 8;  // the frame's bits per pixel (at most Depth): gives the pixel mask
  bool Interlaced = false;
};

struct TLZWOptions {
  // Damaged data mark the result and decoding stops where the damage starts (true), or raise.
  bool Lenient = true;
  // Null, or told about the decoding after every code.
  const TDecodeProgress* Progress = nullptr;
};

struct TLZWResult {
  uint32_t LastCode = 0;     // the code that ended decoding, 0xFFFF when the data ran out
  bool DataCorrupt = false;  // the data were damaged and decoding stopped there
};

// Decodes one frame's image data: the minimum-code-size byte, then sub-blocks, from the
// stream's current position. Pixels go into Rows, which holds Height rows of
// DIBStride(Width, Depth) bytes stored bottom-up (logical row 0 is the last buffer row), zero
// on entry; pixels are packed leftmost in the most significant bits.
//
// Damaged data: a minimum code size outside 2..9 or a runaway code chain raises
// EInvalidGraphicOperation, or with Lenient set marks DataCorrupt and stops decoding where
// the damage starts. Data that end before the last row raise "Stream read error" in either
// mode. A missing minimum-code-size byte is the stream's own read error.
TLZWResult DecodeLZW(TStream& CodeStream, const TLZWFrame& Frame, const TLZWOptions& Options,
                     std::span<uint8_t> Rows);

// The same with the frame and options spelt out; DataCorrupt receives the damage flag.
void DecodeLZW(TStream& CodeStream, int Width, int Height, int Depth, bool Interlaced,
               const TDecodeProgress* Progress, bool& DataCorrupt, std::span<uint8_t> Rows,
               int PixelBits, bool Lenient);

// Decodes the image data in Code (code-size byte, sub-blocks) straight into a 32-bit picture:
// Height rows of Width pixels stored bottom-up, each pixel Colors[index]. Every pixel is
// written: those the data do not reach get Colors[0], the colour an index of 0 shows. The
// same errors as DecodeLZW; Frame.Depth is not used. Reports no progress.
TLZWResult DecodeLZWToColors(std::span<const uint8_t> Code, const TLZWFrame& Frame, bool Lenient,
                             const uint32_t (&Colors)[256], uint32_t* Pixels);

}  // namespace orn

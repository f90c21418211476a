// LZW compression of a frame's pixel indices into GIF image data: the minimum code size byte,
// the codes packed into data sub-blocks of at most 255 bytes, and the block terminator.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/stream.h"

namespace orn {

// What the encoder needs to know of a device-independent picture. Rows are stored bottom-up,
// each padded to a multiple of four bytes.
struct TEncodeHeader {
  int32_t Width = 0;
  int32_t Height = 0;
  int BitsPerPixel = 8;  // 1, 4 or 8
};

enum class TEncodeStage : uint8_t { esStarting, esRunning, esEnding };

// Progress of one encoding: stage, percentage 0..100 and a message (empty, or the text of the
// exception that ended the encoding).
using TEncodeProgress =
    std::function<void(TEncodeStage Stage, int PercentDone, const std::string& Msg)>;

// Bit packer: codes go in least significant bit first; every 255 complete bytes leave as one
// data sub-block.
struct TCodePacker {
  int CodeWidth = 0;
  uint32_t Acc = 0;         // pending bits, not yet a whole byte
  int AccBits = 0;          // number of pending bits
  int BlockLen = 0;         // bytes in the current sub-block
  uint8_t Block[256] = {};  // Block[0] is the size byte, Block[1..] the data
};

// Appends one code of the packer's CodeWidth bits; a full sub-block is written at once.
void PutCode(TCodePacker& Packer, TStream& Stream, uint32_t Code);
// Writes the last partial sub-block, if any, and the block terminator.
void FinishCodes(TCodePacker& Packer, TStream& Stream);

// Writes one image data block for the picture whose stored rows are at Bits (BitsSize bytes).
// Rows are taken from the top of the picture downwards. Raises EInvalidGraphicOperation for
// a depth other than 1, 4 or 8, an empty picture or too few bytes of rows. Any exception
// (a stream write error, or one raised by Progress, such as EAbort) ends the encoding; the
// final progress report then carries percentage 0 and the exception's message.
void EncodeImageData(TStream& Stream, const TEncodeHeader& Header, const uint8_t* Bits,
                     int64_t BitsSize, const TEncodeProgress& Progress);

}  // namespace orn

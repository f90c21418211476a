#include "gif/lzw_encoder.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "core/exceptions.h"
#include "gif/gif_errors.h"

namespace orn {

namespace {

constexpr uint32_t kSlotCount = 17777;
constexpr uint32_t kLastCode = 4094;  // the table is reset once this code has been assigned

// A slot holds (prefix << 8 | pixel) << 12 | code, or 0 when empty. Assigned codes are always
// above the end code, so 0 never names an entry.
constexpr uint32_t SlotKey(uint32_t Slot) {
  return Slot >> 12;
}
constexpr uint32_t SlotCode(uint32_t Slot) {
  return Slot & 0xFFF;
}

class TEncoder {
 public:
  TEncoder(TStream& Stream, int Bits) : FStream(Stream), FSlots(new uint32_t[kSlotCount]) {
    FInitWidth = Bits == 1 ? 3 : Bits + 1;
    FClear = 1u << (FInitWidth - 1);
    FEnd = FClear + 1;
    ResetTable();
    FStream.WriteByte(static_cast<uint8_t>(FInitWidth - 1));
    Put(FClear);
  }

  void Pixel(uint32_t D) {
    ++FRun;
    if (FRun == 1) {
      FPrefix = D;
      FHash = 301 * D + 903;
      return;
    }
    FHash = ((D + FRun + 4) * FHash) % kSlotCount;
    const uint32_t Key = (FPrefix << 8) | D;
    uint32_t Index = FHash;
    uint32_t Slot;
    while ((Slot = FSlots[Index]) != 0) {
      if (SlotKey(Slot) == Key) {
        FPrefix = SlotCode(Slot);
        return;
      }
      if (++Index == kSlotCount) Index = 0;
    }
    Put(FPrefix);
    const uint32_t Code = ++FLastAssigned;
    FSlots[Index] = (Key << 12) | Code;
    FPrefix = D;
    FHash = 301 * D + 903;
    FRun = 1;
    if (Code >= FThreshold) {
      FThreshold <<= 1;
      ++FPacker.CodeWidth;
    } else if (Code >= kLastCode) {
      Put(FPrefix);
      Put(FClear);
      FRun = 0;
      ResetTable();
    }
  }

  void Finish() {
    if (FRun > 0) Put(FPrefix);
    Put(FEnd);
    FinishCodes(FPacker, FStream);
  }

 private:
  void ResetTable() {
    std::memset(FSlots.get(), 0, kSlotCount * sizeof(uint32_t));
    FLastAssigned = FEnd;
    FPacker.CodeWidth = FInitWidth;
    FThreshold = 1u << FInitWidth;
  }

  void Put(uint32_t Code) { PutCode(FPacker, FStream, Code); }

  TStream& FStream;
  std::unique_ptr<uint32_t[]> FSlots;
  TCodePacker FPacker;
  int FInitWidth = 0;
  uint32_t FClear = 0, FEnd = 0, FLastAssigned = 0, FThreshold = 0;
  uint32_t FPrefix = 0, FHash = 0;
  uint16_t FRun = 0;  // pixels in the pending string; 0 when none is pending
};

int64_t RowStride(int64_t Width, int Bits) {
  return ((Width * Bits + 31) / 32) * 4;
}

void Report(const TEncodeProgress& Progress, TEncodeStage Stage, int Percent,
            const std::string& Msg) {
  if (Progress) Progress(Stage, Percent, Msg);
}

}  // namespace

void PutCode(TCodePacker& P, TStream& Stream, uint32_t Code) {
  P.Acc |= Code << P.AccBits;
  P.AccBits += P.CodeWidth;
  while (P.AccBits >= 8) {
    P.Block[1 + P.BlockLen++] = static_cast<uint8_t>(P.Acc);
    P.Acc >>= 8;
    P.AccBits -= 8;
    if (P.BlockLen == 255) {
      P.Block[0] = 255;
      Stream.WriteBuffer(P.Block, 256);
      P.BlockLen = 0;
    }
  }
}

void FinishCodes(TCodePacker& P, TStream& Stream) {
  if (P.AccBits > 0) {
    P.Block[1 + P.BlockLen++] = static_cast<uint8_t>(P.Acc);
    P.Acc = 0;
    P.AccBits = 0;
  }
  if (P.BlockLen > 0) {
    P.Block[0] = static_cast<uint8_t>(P.BlockLen);
    Stream.WriteBuffer(P.Block, P.BlockLen + 1);
    P.BlockLen = 0;
  }
  Stream.WriteByte(0);
}

void EncodeImageData(TStream& Stream, const TEncodeHeader& Header, const uint8_t* Bits,
                     int64_t BitsSize, const TEncodeProgress& Progress) {
  const int Depth = Header.BitsPerPixel;
  if ((Depth != 1 && Depth != 4 && Depth != 8) || Header.Width <= 0 || Header.Height <= 0 ||
      Bits == nullptr)
    RaiseGIFFailure(SGIFEncodeError);
  const int64_t Stride = RowStride(Header.Width, Depth);
  if (BitsSize < Stride * Header.Height) RaiseGIFFailure(SGIFEncodeError);

  try {
    Report(Progress, TEncodeStage::esStarting, 0, std::string());
    TEncoder Encoder(Stream, Depth);
    const int32_t W = Header.Width;
    const int32_t H = Header.Height;
    for (int32_t Done = 0; Done < H; ++Done) {
      // The last stored row is the top row of the picture.
      const uint8_t* Row = Bits + static_cast<int64_t>(H - 1 - Done) * Stride;
      if (Depth == 8) {
        for (int32_t X = 0; X < W; ++X) Encoder.Pixel(Row[X]);
      } else if (Depth == 4) {
        for (int32_t X = 0; X < W; ++X)
          Encoder.Pixel((X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4));
      } else {
        for (int32_t X = 0; X < W; ++X) Encoder.Pixel((Row[X >> 3] >> (7 - (X & 7))) & 1);
      }
      if (Progress) {
        const double Percent = static_cast<double>(Done + 1) / H * 100.0;
        Progress(TEncodeStage::esRunning, static_cast<int>(std::trunc(Percent)), std::string());
      }
    }
    Encoder.Finish();
  } catch (const std::exception& E) {
    Report(Progress, TEncodeStage::esEnding, 0, E.what());
    throw;
  }
  Report(Progress, TEncodeStage::esEnding, 100, std::string());
}

}  // namespace orn

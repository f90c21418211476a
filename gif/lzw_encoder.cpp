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

// Open-addressing table of (prefix, pixel) -> code. At most 4094 - 257 entries live at a time,
// so 8192 slots keep it under half full and small enough for the first-level cache.
constexpr uint32_t kSlotBits = 13;
constexpr uint32_t kSlotCount = 1u << kSlotBits;
constexpr uint32_t kSlotMask = kSlotCount - 1;
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
    ResetTable(FLastAssigned, FWidth, FThreshold);
    FStream.WriteByte(static_cast<uint8_t>(FInitWidth - 1));
    TState S = Load();
    Put(S, FClear);
    Store(S);
  }

  // Encodes Count pixel values. The state lives in locals for the length of a row so that
  // the byte stores of the packer cannot force it back to memory on every pixel.
  void Row(const uint8_t* Pixels, int32_t Count) {
    uint32_t* const Slots = FSlots.get();
    TState S = Load();
    for (int32_t X = 0; X < Count; ++X) {
      const uint32_t D = Pixels[X];
      ++S.Run;
      if (S.Run == 1) {
        S.Prefix = D;
        continue;
      }
      const uint32_t Key = (S.Prefix << 8) | D;
      uint32_t Index = (Key * 0x9E3779B1u) >> (32 - kSlotBits);
      uint32_t Slot;
      bool Found = false;
      while ((Slot = Slots[Index]) != 0) {
        if (SlotKey(Slot) == Key) {
          Found = true;
          break;
        }
        Index = (Index + 1) & kSlotMask;
      }
      if (Found) {
        S.Prefix = SlotCode(Slot);
        continue;
      }
      Put(S, S.Prefix);
      const uint32_t Code = ++S.Last;
      Slots[Index] = (Key << 12) | Code;
      S.Prefix = D;
      S.Run = 1;
      if (Code >= S.Threshold) {
        S.Threshold <<= 1;
        ++S.Width;
      } else if (Code >= kLastCode) {
        Put(S, S.Prefix);
        Put(S, FClear);
        S.Run = 0;
        ResetTable(S.Last, S.Width, S.Threshold);
      }
    }
    Store(S);
  }

  void Finish() {
    TState S = Load();
    if (S.Run > 0) Put(S, S.Prefix);
    Put(S, FEnd);
    Store(S);
    TCodePacker P;
    P.Acc = static_cast<uint32_t>(FAcc);
    P.AccBits = FAccBits;
    P.BlockLen = FBlockLen;
    std::memcpy(P.Block + 1, FBlock, static_cast<size_t>(FBlockLen));
    FinishCodes(P, FStream);
  }

 private:
  struct TState {
    uint32_t Prefix, Last, Threshold;
    uint16_t Run;  // pixels in the pending string; 0 when none is pending
    int Width;
    uint64_t Acc;
    int AccBits;
    int BlockLen;
  };

  TState Load() const {
    return {FPrefix, FLastAssigned, FThreshold, FRun, FWidth, FAcc, FAccBits, FBlockLen};
  }
  void Store(const TState& S) {
    FPrefix = S.Prefix;
    FLastAssigned = S.Last;
    FThreshold = S.Threshold;
    FRun = S.Run;
    FWidth = S.Width;
    FAcc = S.Acc;
    FAccBits = S.AccBits;
    FBlockLen = S.BlockLen;
  }

  void ResetTable(uint32_t& Last, int& Width, uint32_t& Threshold) {
    std::memset(FSlots.get(), 0, kSlotCount * sizeof(uint32_t));
    Last = FEnd;
    Width = FInitWidth;
    Threshold = 1u << FInitWidth;
  }

  // Appends a code, least significant bit first; every 255 complete bytes leave as one
  // sub-block.
  void Put(TState& S, uint32_t Code) {
    S.Acc |= static_cast<uint64_t>(Code) << S.AccBits;
    S.AccBits += S.Width;
    while (S.AccBits >= 8) {
      FBlock[S.BlockLen++] = static_cast<uint8_t>(S.Acc);
      S.Acc >>= 8;
      S.AccBits -= 8;
      if (S.BlockLen == 255) {
        WriteFullBlock();
        S.BlockLen = 0;
      }
    }
  }

  void WriteFullBlock() {
    uint8_t Out[256];
    Out[0] = 255;
    std::memcpy(Out + 1, FBlock, 255);
    FStream.WriteBuffer(Out, 256);
  }

  TStream& FStream;
  std::unique_ptr<uint32_t[]> FSlots;
  int FInitWidth = 0;
  uint32_t FClear = 0, FEnd = 0;
  uint32_t FPrefix = 0, FLastAssigned = 0, FThreshold = 0;
  uint16_t FRun = 0;
  int FWidth = 0;
  uint64_t FAcc = 0;
  int FAccBits = 0;
  int FBlockLen = 0;
  uint8_t FBlock[255] = {};
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
    std::vector<uint8_t> Unpacked(Depth == 8 ? 0 : static_cast<size_t>(W));
    for (int32_t Done = 0; Done < H; ++Done) {
      // The last stored row is the top row of the picture.
      const uint8_t* Row = Bits + static_cast<int64_t>(H - 1 - Done) * Stride;
      if (Depth == 8) {
        Encoder.Row(Row, W);
      } else {
        if (Depth == 4) {
          for (int32_t X = 0; X < W; ++X)
            Unpacked[X] = (X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4);
        } else {
          for (int32_t X = 0; X < W; ++X) Unpacked[X] = (Row[X >> 3] >> (7 - (X & 7))) & 1;
        }
        Encoder.Row(Unpacked.data(), W);
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

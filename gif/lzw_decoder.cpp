#include "gif/lzw_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "core/exceptions.h"
#include "gif/gif_errors.h"

namespace orn {

int NextInterlacedRow(int Row, int Height, int& Pass) {
  Row += (Pass <= 1) ? 8 : (Pass == 2 ? 4 : 2);
  if (Row < Height) return Row;
  // Fall through to the next pass that has a row inside the frame.
  if (Pass == 0) {
    Pass = 1;
    Row = 4;
    if (Height > 4) return Row;
  }
  if (Pass == 1) {
    Pass = 2;
    Row = 2;
    if (Height > 2) return Row;
  }
  if (Pass == 2) {
    Pass = 3;
    return 1;
  }
  return Row;
}

namespace {

constexpr uint32_t kEndOfData = 0xFFFF;
constexpr int kTableSize = 4096;
// A chain is refused once the stack already holds more than 4096 entries; room for that many
// plus the string's first pixel and the carried first pixel of a not-yet-defined code.
constexpr int kStackLimit = 4096;
constexpr int kStackSize = kStackLimit + 4;
// Bytes left over from the previous fill (at most 3) plus one sub-block (255), with slack so
// that a code can always be fetched with one 4-byte read.
constexpr int kWindowSize = 264;

// The whole decoding state of one call. Tables are allocated once per call.
struct TDecodeRun {
  // Input: the code stream's bytes from the decoder's start position.
  const uint8_t* Data = nullptr;
  int64_t Pos = 0;
  int64_t End = 0;
  int64_t Base = 0;        // stream offset of Data[0]
  int64_t StreamSize = 0;  // for the progress percentage

  // Output.
  int W = 0, H = 0, Depth = 8;
  bool Interlaced = false;
  int64_t Stride = 0;
  uint8_t* Rows = nullptr;
  int X = 0, Y = 0, Pass = 0;
  uint8_t* Row = nullptr;   // buffer row of logical row Y
  uint8_t* Line = nullptr;  // where pixels of row Y go: Row itself at 8 bits, else Scratch
  std::vector<uint8_t> Scratch;

  void SelectRow() {
    Row = Rows + static_cast<int64_t>(H - 1 - Y) * Stride;
    if (Depth == 8) Line = Row;
  }

  // Packs the first Count pixels of Scratch into Row (leftmost pixel in the high bits).
  void PackLine(int Count) {
    const uint8_t* S = Scratch.data();
    if (Depth == 4) {
      int I = 0;
      for (; I + 1 < Count; I += 2) Row[I >> 1] = static_cast<uint8_t>((S[I] << 4) | S[I + 1]);
      if (I < Count) Row[I >> 1] = static_cast<uint8_t>(S[I] << 4);
    } else {
      for (int I = 0; I < Count; I += 8) {
        const int N = std::min(8, Count - I);
        uint8_t B = 0;
        for (int J = 0; J < N; ++J) B |= static_cast<uint8_t>(S[I + J] << (7 - J));
        Row[I >> 3] = B;
      }
    }
  }

  void AdvanceRow() {
    if (Depth != 8) {
      PackLine(W);
      std::memset(Scratch.data(), 0, Scratch.size());
    }
    X = 0;
    Y = Interlaced ? NextInterlacedRow(Y, H, Pass) : Y + 1;
    if (Y < H) SelectRow();
  }

  void FlushPartialRow() {
    if (Depth != 8 && Y < H && X > 0) PackLine(X);
  }

  void PutPixel(uint8_t Value) {
    if (Y >= H) return;
    Line[X] = Value;
    if (++X == W) AdvanceRow();
  }

  // Pops the unwound string (first pixel on top) into the rows.
  void EmitStack(const uint8_t* Stack, int Sp) {
    while (Sp > 0 && Y < H) {
      const int N = std::min(Sp, W - X);
      uint8_t* P = Line + X;
      for (int I = 0; I < N; ++I) P[I] = Stack[--Sp];
      X += N;
      if (X == W) AdvanceRow();
    }
  }

  int Percent() const {
    return static_cast<int>(
        std::trunc(static_cast<double>(Base + Pos) / static_cast<double>(StreamSize) * 100.0));
  }
};

template <bool kProgress>
uint32_t DecodeCodes(TDecodeRun& R, int CodeSize, int PixelMask, bool Lenient, bool& DataCorrupt,
                     const TDecodeProgress* Progress) {
  std::unique_ptr<uint16_t[]> Prefix(new uint16_t[kTableSize]());
  std::unique_ptr<uint8_t[]> Suffix(new uint8_t[kTableSize]());
  // Length of each code's string when it is known to be a well-formed chain of this clear
  // cycle (every link points to a smaller code); 0 when the chain must be unwound with checks.
  std::unique_ptr<uint16_t[]> Len(new uint16_t[kTableSize]());
  std::unique_ptr<uint8_t[]> Stack(new uint8_t[kStackSize]());
  uint8_t Window[kWindowSize] = {};

  const uint8_t* const Data = R.Data;
  const int64_t End = R.End;
  int64_t Pos = R.Pos;
  uint32_t BitIndex = 0, BitCount = 0;
  const uint32_t InitWidth = static_cast<uint32_t>(CodeSize) + 1;
  uint32_t Width = InitWidth;
  uint32_t Limit = 1u << Width;
  uint32_t Mask = Limit - 1;
  const uint32_t ClearCode = 1u << CodeSize;
  const uint32_t EndCode = ClearCode + 1;
  const uint32_t FirstFree = ClearCode + 2;
  uint32_t FreeCode = FirstFree;
  uint32_t OldCode = 0;
  uint32_t FirstChar = 0;
  bool TableFull = false;

  auto NextCode = [&]() -> uint32_t {
    while (BitIndex + Width > BitCount && Pos < End) {
      // Keep the unused bytes (at most 3), then append the next sub-block.
      const uint32_t K = BitIndex >> 3;
      Window[0] = Window[K];
      Window[1] = Window[K + 1];
      Window[2] = Window[K + 2];
      BitIndex &= 7;
      BitCount -= 8 * K;
      const uint32_t N = Data[Pos++];
      if (N > 0) {
        const int64_t Avail = std::min<int64_t>(N, End - Pos);
        std::memcpy(Window + (BitCount >> 3), Data + Pos, static_cast<size_t>(Avail));
        Pos += Avail;
        BitCount += 8 * static_cast<uint32_t>(Avail);
      }
    }
    if (BitIndex + Width > BitCount) return kEndOfData;
    const uint32_t K = BitIndex >> 3;
    uint32_t V = static_cast<uint32_t>(Window[K]) | (static_cast<uint32_t>(Window[K + 1]) << 8) |
                 (static_cast<uint32_t>(Window[K + 2]) << 16);
    V >>= (BitIndex & 7);
    BitIndex += Width;
    return V & Mask;
  };
  auto LenOf = [&](uint32_t C) -> uint32_t {
    if (C < ClearCode) return 1;
    if (C >= FirstFree && C < FreeCode) return Len[C];
    return 0;
  };

  uint32_t Code = NextCode();
  while (Code != EndCode && Code != kEndOfData && R.Y < R.H) {
    if (Code == ClearCode) {
      Width = InitWidth;
      Limit = 1u << Width;
      Mask = Limit - 1;
      FreeCode = FirstFree;
      Code = NextCode();
      OldCode = Code;
      if (Code == kEndOfData) break;
      // The code after a clear is taken as a literal pixel whatever its value.
      FirstChar = Code & PixelMask;
      R.PutPixel(static_cast<uint8_t>(FirstChar));
      TableFull = false;
    } else {
      // After a clamped code size nothing but the pixels that follow clear codes is trusted.
      if (DataCorrupt) break;
      const uint32_t InCode = Code;
      const bool Undefined = Code >= FreeCode;
      uint32_t Cur = Undefined ? OldCode : Code;
      uint32_t L = LenOf(Cur);
      if (L != 0 && Undefined) ++L;
      if (L != 0 && R.X + static_cast<int64_t>(L) <= R.W) {
        // Well-formed string that fits the current row: write it back to front in place.
        uint8_t* P = R.Line + R.X + L - 1;
        if (Undefined) *P-- = static_cast<uint8_t>(FirstChar);
        while (Cur >= ClearCode) {
          *P-- = Suffix[Cur];
          Cur = Prefix[Cur];
        }
        FirstChar = Cur & PixelMask;
        *P = static_cast<uint8_t>(FirstChar);
        R.X += static_cast<int>(L);
        if (R.X == R.W) R.AdvanceRow();
      } else {
        int Sp = 0;
        if (Undefined) Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        bool Runaway = false;
        while (Cur >= ClearCode) {
          if (Sp > kStackLimit) {
            if (!Lenient) RaiseGIFFailure(SGIFBadData);
            Runaway = true;
            break;
          }
          Stack[Sp++] = Suffix[Cur];
          Cur = Prefix[Cur];
        }
        if (Runaway) {
          DataCorrupt = true;
          break;
        }
        FirstChar = Cur & PixelMask;
        Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        R.EmitStack(Stack.get(), Sp);
      }
      if (!TableFull) {
        const uint32_t OldLen = LenOf(OldCode);
        Prefix[FreeCode] = static_cast<uint16_t>(OldCode);
        Suffix[FreeCode] = static_cast<uint8_t>(FirstChar);
        Len[FreeCode] = static_cast<uint16_t>(OldLen != 0 && OldCode < FreeCode ? OldLen + 1 : 0);
        ++FreeCode;
        if (FreeCode >= Limit) {
          if (Width < 12) {
            ++Width;
            Limit <<= 1;
            Mask = Limit - 1;
          } else {
            TableFull = true;
          }
        }
      }
      OldCode = InCode;
    }
    Code = NextCode();
    if constexpr (kProgress) {
      R.Pos = Pos;
      if (R.StreamSize > 0) (*Progress)(TDecodeStage::dsRunning, R.Percent(), std::string());
    }
  }
  R.Pos = Pos;
  return Code;
}

}  // namespace

void DecodeLZW(TStream& CodeStream, int Width, int Height, int Depth, bool Interlaced,
               const TDecodeProgress* Progress, bool& DataCorrupt, std::span<uint8_t> Rows,
               int PixelBits, bool Lenient) {
  DataCorrupt = false;
  if (Progress && !*Progress) Progress = nullptr;
  if (Progress) (*Progress)(TDecodeStage::dsStarting, 0, std::string());

  TDecodeRun R;
  // Read straight from a memory stream's buffer; any other stream is copied once.
  std::vector<uint8_t> Copy;
  R.Base = CodeStream.Position();
  R.StreamSize = CodeStream.Size();
  if (auto* M = dynamic_cast<TMemoryStream*>(&CodeStream)) {
    R.Data = M->Memory() + std::min(R.Base, R.StreamSize);
    R.End = std::max<int64_t>(0, R.StreamSize - R.Base);
  } else {
    Copy.resize(static_cast<size_t>(std::max<int64_t>(0, R.StreamSize - R.Base)));
    R.End = Copy.empty() ? 0 : CodeStream.Read(Copy.data(), static_cast<int64_t>(Copy.size()));
    CodeStream.SetPosition(R.Base);
    R.Data = Copy.data();
  }

  try {
    if (Depth != 1 && Depth != 4 && Depth != 8) RaiseGIFFailure(SGIFColorCount);
    R.W = std::max(0, Width);
    R.H = std::max(0, Height);
    R.Depth = Depth;
    R.Interlaced = Interlaced;
    R.Stride = DIBStride(R.W, Depth);
    if (static_cast<int64_t>(Rows.size()) < R.Stride * R.H)
      RaiseGIFFailure("GIF row buffer too small for the frame");

    if (R.Pos >= R.End) throw EReadError();
    int CodeSize = R.Data[R.Pos++];
    if (CodeSize < 2 || CodeSize > 9) {
      if (!Lenient) RaiseGIFFailure(SGIFCodeSizeRange);
      DataCorrupt = true;
      CodeSize = std::clamp(CodeSize, 2, 9);
    }
    // Pixel values never exceed what the bitmap depth can hold.
    const int Bits = std::clamp(PixelBits, 0, Depth);
    const int PixelMask = (1 << Bits) - 1;

    if (R.W > 0 && R.H > 0) {
      R.Rows = Rows.data();
      if (Depth != 8) {
        R.Scratch.assign(static_cast<size_t>(R.W), 0);
        R.Line = R.Scratch.data();
      }
      R.SelectRow();
      uint32_t Last;
      try {
        Last = Progress ? DecodeCodes<true>(R, CodeSize, PixelMask, Lenient, DataCorrupt, Progress)
                        : DecodeCodes<false>(R, CodeSize, PixelMask, Lenient, DataCorrupt, nullptr);
      } catch (...) {
        R.FlushPartialRow();
        throw;
      }
      R.FlushPartialRow();
      if (Last == kEndOfData && R.Y < R.H) RaiseGIFFailure(SGIFReadError);
    }
  } catch (const std::exception& E) {
    CodeStream.SetPosition(R.Base + R.Pos);
    if (Progress) (*Progress)(TDecodeStage::dsEnding, 0, E.what());
    throw;
  }
  CodeStream.SetPosition(R.Base + R.Pos);
  if (Progress) (*Progress)(TDecodeStage::dsEnding, 100, std::string());
}

}  // namespace orn

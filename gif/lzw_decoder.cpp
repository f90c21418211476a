#include "gif/lzw_decoder.h"

#include <algorithm>
#include <bit>
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

// Pushes the string of code Cur onto Stack, last pixel first, until Cur is a root code. A
// chain longer than the stack is damage: an error in strict mode, false in lenient mode.
inline bool WalkChain(const uint32_t* Entries, uint32_t ClearCode, bool Lenient, uint32_t& Cur,
                      uint8_t* Stack, int& Sp) {
  while (Cur >= ClearCode) {
    if (Sp > kStackLimit) {
      if (!Lenient) RaiseGIFFailure(SGIFBadData);
      return false;
    }
    const uint32_t E = Entries[Cur];
    Stack[Sp++] = static_cast<uint8_t>(E >> 16);
    Cur = E & 0xFFFF;
  }
  return true;
}
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
  void PackLine(int Count) { PackPixels(Scratch.data(), Row, Count); }

  void PackPixels(const uint8_t* S, uint8_t* Dest, int Count) const {
    if (Depth == 8) {
      std::memcpy(Dest, S, static_cast<size_t>(Count));
    } else if (Depth == 4) {
      int I = 0;
      for (; I + 1 < Count; I += 2) Dest[I >> 1] = static_cast<uint8_t>((S[I] << 4) | S[I + 1]);
      if (I < Count) Dest[I >> 1] = static_cast<uint8_t>(S[I] << 4);
    } else {
      for (int I = 0; I < Count; I += 8) {
        const int N = std::min(8, Count - I);
        uint8_t B = 0;
        for (int J = 0; J < N; ++J) B |= static_cast<uint8_t>(S[I + J] << (7 - J));
        Dest[I >> 3] = B;
      }
    }
  }

  // Places Produced pixels, decoded in stream order into Linear, into the rows: row by row in
  // interlaced or plain order, bottom-up. Leaves Y at the first row not completely filled.
  void DistributeRows(const uint8_t* Linear, int64_t Produced) {
    const int64_t Full = Produced / W;
    const int Part = static_cast<int>(Produced % W);
    int RowY = 0, RowPass = 0;
    for (int64_t K = 0; K < Full && RowY < H; ++K) {
      PackPixels(Linear + K * W, Rows + static_cast<int64_t>(H - 1 - RowY) * Stride, W);
      RowY = Interlaced ? NextInterlacedRow(RowY, H, RowPass) : RowY + 1;
    }
    if (Part > 0 && RowY < H)
      PackPixels(Linear + Full * W, Rows + static_cast<int64_t>(H - 1 - RowY) * Stride, Part);
    Y = RowY;
    X = Part;
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

// Reads codes the way the data are laid out: sub-blocks are appended to a small window only
// when the next code needs their bits, so the stream position (and the progress percentage)
// advances one sub-block at a time.
class TWindowReader {
 public:
  explicit TWindowReader(TDecodeRun& R) : FData(R.Data), FEnd(R.End), FPos(R.Pos) {}

  uint32_t Next(uint32_t Width, uint32_t Mask) {
    while (FBitIndex + Width > FBitCount && FPos < FEnd) {
      // Keep the unused bytes (at most 3), then append the next sub-block.
      const uint32_t K = FBitIndex >> 3;
      FWindow[0] = FWindow[K];
      FWindow[1] = FWindow[K + 1];
      FWindow[2] = FWindow[K + 2];
      FBitIndex &= 7;
      FBitCount -= 8 * K;
      const uint32_t N = FData[FPos++];
      if (N > 0) {
        const int64_t Avail = std::min<int64_t>(N, FEnd - FPos);
        std::memcpy(FWindow + (FBitCount >> 3), FData + FPos, static_cast<size_t>(Avail));
        FPos += Avail;
        FBitCount += 8 * static_cast<uint32_t>(Avail);
      }
    }
    if (FBitIndex + Width > FBitCount) return kEndOfData;
    const uint32_t K = FBitIndex >> 3;
    uint32_t V = static_cast<uint32_t>(FWindow[K]) | (static_cast<uint32_t>(FWindow[K + 1]) << 8) |
                 (static_cast<uint32_t>(FWindow[K + 2]) << 16);
    V >>= (FBitIndex & 7);
    FBitIndex += Width;
    return V & Mask;
  }
  int64_t Position() const { return FPos; }

 private:
  const uint8_t* FData;
  int64_t FEnd;
  int64_t FPos;
  uint32_t FBitIndex = 0;
  uint32_t FBitCount = 0;
  uint8_t FWindow[kWindowSize] = {};
};

// Reads the same codes from all sub-blocks gathered into one buffer first: one 64-bit load per
// code. Used when nobody follows the progress.
class TGatheredReader {
 public:
  explicit TGatheredReader(TDecodeRun& R) {
    FBytes.reserve(static_cast<size_t>(R.End - R.Pos) + 8);
    int64_t Pos = R.Pos;
    while (Pos < R.End) {
      const int64_t Size = R.Data[Pos];
      ++Pos;
      const int64_t N = std::min<int64_t>(Size, R.End - Pos);
      FBytes.insert(FBytes.end(), R.Data + Pos, R.Data + Pos + N);
      Pos += N;
    }
    FEndPos = Pos;
    FTotalBits = static_cast<uint64_t>(FBytes.size()) * 8;
    FBytes.resize(FBytes.size() + 8, 0);  // room for the last 64-bit load
  }

  uint32_t Next(uint32_t Width, uint32_t Mask) {
    if (FBitPos + Width > FTotalBits) return kEndOfData;
    uint64_t V;
    std::memcpy(&V, FBytes.data() + (FBitPos >> 3), sizeof V);
    V = LittleEndian(V) >> (FBitPos & 7);
    FBitPos += Width;
    return static_cast<uint32_t>(V) & Mask;
  }
  int64_t Position() const { return FEndPos; }

 private:
  static uint64_t LittleEndian(uint64_t V) {
    if constexpr (std::endian::native == std::endian::little) return V;
    uint64_t R = 0;
    for (int I = 0; I < 8; ++I) R |= ((V >> (8 * I)) & 0xFF) << (8 * (7 - I));
    return R;
  }
  std::vector<uint8_t> FBytes;
  uint64_t FBitPos = 0;
  uint64_t FTotalBits = 0;
  int64_t FEndPos = 0;
};

// Stores 8 pixels, the low byte of Value first.
inline void Store8(uint8_t* Dest, uint64_t Value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(Dest, &Value, sizeof Value);
  } else {
    for (int I = 0; I < 8; ++I) Dest[I] = static_cast<uint8_t>(Value >> (8 * I));
  }
}

template <class TReader, bool kProgress>
uint32_t DecodeCodes(TDecodeRun& R, int CodeSize, uint32_t PixelMask, bool Lenient,
                     bool& DataCorrupt, const TDecodeProgress* Progress) {
  // Each entry: prefix code in the low 16 bits, last pixel in bits 16..23. Entries never
  // written in this call read as prefix 0 and pixel 0.
  std::unique_ptr<uint32_t[]> Table(new uint32_t[kTableSize]());
  // Length of each code's string when it is known to be a well-formed chain of this clear
  // cycle (every link points to a smaller code); 0 when the chain must be unwound with checks.
  std::unique_ptr<uint16_t[]> Len(new uint16_t[kTableSize]());
  std::unique_ptr<uint8_t[]> Stack(new uint8_t[kStackSize]());
  TReader Reader(R);

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
  uint32_t* const Entries = Table.get();
  uint16_t* const Lens = Len.get();
  for (uint32_t C = 0; C < ClearCode; ++C) Lens[C] = 1;
  // The output position lives in locals while strings are written (byte stores could
  // otherwise alias it); R is brought up to date around every call into it.
  int X = R.X;
  uint8_t* Line = R.Line;
  const int W = R.W;
  bool RowsLeft = R.Y < R.H;
  bool Corrupt = DataCorrupt;
  auto Reload = [&] {
    X = R.X;
    Line = R.Line;
    RowsLeft = R.Y < R.H;
  };

  uint32_t Code = Reader.Next(Width, Mask);
  while (Code != EndCode && Code != kEndOfData && RowsLeft) {
    if (Code == ClearCode) {
      Width = InitWidth;
      Limit = 1u << Width;
      Mask = Limit - 1;
      // Entries of the last cycle keep their values but are no longer known chains.
      std::fill(Lens + FirstFree, Lens + std::max(FreeCode, FirstFree), uint16_t{0});
      FreeCode = FirstFree;
      Code = Reader.Next(Width, Mask);
      OldCode = Code;
      if (Code == kEndOfData) break;
      // The code after a clear is taken as a literal pixel whatever its value.
      FirstChar = Code & PixelMask;
      R.X = X;
      R.PutPixel(static_cast<uint8_t>(FirstChar));
      Reload();
      TableFull = false;
    } else {
      // After a clamped code size nothing but the pixels that follow clear codes is trusted.
      if (Corrupt) break;
      const uint32_t InCode = Code;
      const bool Undefined = Code >= FreeCode;
      uint32_t Cur = Undefined ? OldCode : Code;
      uint32_t L = Lens[Cur];
      if (L != 0 && Undefined) ++L;
      if (L != 0 && X + static_cast<int64_t>(L) <= W) {
        // Well-formed string that fits the current row: write it back to front in place.
        uint8_t* P = Line + X + L - 1;
        if (Undefined) *P-- = static_cast<uint8_t>(FirstChar);
        while (Cur >= ClearCode) {
          const uint32_t E = Entries[Cur];
          *P-- = static_cast<uint8_t>(E >> 16);
          Cur = E & 0xFFFF;
        }
        FirstChar = Cur & PixelMask;
        *P = static_cast<uint8_t>(FirstChar);
        X += static_cast<int>(L);
        if (X == W) {
          R.X = X;
          R.AdvanceRow();
          Reload();
        }
      } else {
        int Sp = 0;
        if (Undefined) Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        if (!WalkChain(Entries, ClearCode, Lenient, Cur, Stack.get(), Sp)) {
          Corrupt = true;
          break;
        }
        FirstChar = Cur & PixelMask;
        Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        R.X = X;
        R.EmitStack(Stack.get(), Sp);
        Reload();
      }
      if (!TableFull) {
        const uint32_t OldLen = OldCode < FreeCode ? Lens[OldCode] : 0;
        Entries[FreeCode] = OldCode | (FirstChar << 16);
        Lens[FreeCode] = static_cast<uint16_t>(OldLen != 0 ? OldLen + 1 : 0);
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
    Code = Reader.Next(Width, Mask);
    if constexpr (kProgress) {
      R.Pos = Reader.Position();
      if (R.StreamSize > 0) (*Progress)(TDecodeStage::dsRunning, R.Percent(), std::string());
    }
  }
  R.X = X;
  DataCorrupt = Corrupt;
  R.Pos = Reader.Position();
  return Code;
}

// Decodes into one buffer in stream order. Every well-formed string is a run of pixels
// already written (the string of a new code starts where the previous code's string was put),
// so such codes are copied from there instead of following their prefix chains. Codes whose
// chains are not known to be well formed (damaged data) are unwound through the table with
// the stack checks, exactly as the row-by-row decoder does.
uint32_t DecodeLinear(TDecodeRun& R, int CodeSize, uint32_t PixelMask, bool Lenient,
                      bool& DataCorrupt) {
  constexpr int64_t kPad = 32;  // slack for copies done in 16-byte steps
  // The buffer starts with one byte per literal code (its pixel), so that literal codes are
  // copied like every other known string; the pixels follow from Start to Total.
  const int64_t Start = int64_t{1} << CodeSize;
  const int64_t Total = Start + static_cast<int64_t>(R.W) * R.H;
  std::unique_ptr<uint8_t[]> Buffer(new uint8_t[static_cast<size_t>(Total + kPad)]());
  uint8_t* const O = Buffer.get();
  std::unique_ptr<uint32_t[]> Table(new uint32_t[kTableSize]());  // prefix | pixel << 16
  std::unique_ptr<uint16_t[]> Len(new uint16_t[kTableSize]());
  std::unique_ptr<uint32_t[]> Offset(new uint32_t[kTableSize]());
  // The first (up to) 8 pixels of each known string, first pixel in the low byte: a short
  // string is written with one 8-byte store.
  std::unique_ptr<uint64_t[]> Head(new uint64_t[kTableSize]());
  std::unique_ptr<uint8_t[]> Stack(new uint8_t[kStackSize]());
  uint32_t* const Entries = Table.get();
  uint16_t* const Lens = Len.get();
  uint32_t* const Offs = Offset.get();
  uint64_t* const Heads = Head.get();
  TGatheredReader Reader(R);

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
  bool Corrupt = DataCorrupt;
  for (uint32_t C = 0; C < ClearCode; ++C) {
    Lens[C] = 1;
    Offs[C] = C;
    O[C] = static_cast<uint8_t>(C & PixelMask);
    Heads[C] = C & PixelMask;
  }
  int64_t Pos = Start;
  int64_t PrevPos = Start;
  bool PrevKnown = false;  // the previous code's pixels at PrevPos are exactly its string

  auto Copy = [O](int64_t From, int64_t To, int64_t Count) {
    if (To - From >= 16) {
      for (int64_t I = 0; I < Count; I += 16) std::memcpy(O + To + I, O + From + I, 16);
    } else {
      for (int64_t I = 0; I < Count; ++I) O[To + I] = O[From + I];
    }
  };

  uint32_t Code = Reader.Next(Width, Mask);
  while (Code != EndCode && Code != kEndOfData && Pos < Total) {
    if (Code == ClearCode) {
      Width = InitWidth;
      Limit = 1u << Width;
      Mask = Limit - 1;
      std::fill(Lens + FirstFree, Lens + std::max(FreeCode, FirstFree), uint16_t{0});
      FreeCode = FirstFree;
      Code = Reader.Next(Width, Mask);
      OldCode = Code;
      if (Code == kEndOfData) break;
      // The code after a clear is taken as a literal pixel whatever its value.
      FirstChar = Code & PixelMask;
      O[Pos] = static_cast<uint8_t>(FirstChar);
      PrevPos = Pos++;
      PrevKnown = Code < ClearCode;
      TableFull = false;
    } else {
      if (Corrupt) break;
      const uint32_t InCode = Code;
      int64_t L = 0;
      bool Known = true;
      const uint32_t Known0 = Code < FreeCode ? Lens[Code] : 0;
      if (Known0 != 0 && Pos + Known0 <= Total) {
        L = Known0;
        const uint64_t First8 = Heads[Code];
        FirstChar = static_cast<uint32_t>(First8 & 0xFF);
        if (L <= 8)
          Store8(O + Pos, First8);
        else
          Copy(Offs[Code], Pos, L);
      } else if (Code >= FreeCode && PrevKnown && OldCode < FreeCode && Lens[OldCode] != 0 &&
                 Pos + Lens[OldCode] + 1 <= Total) {
        // Not yet defined: the previous string and its own first pixel.
        const int64_t Prev = Lens[OldCode];
        const uint32_t Last = FirstChar;
        const uint64_t First8 = Heads[OldCode];
        FirstChar = static_cast<uint32_t>(First8 & 0xFF);
        if (Prev < 8) {
          Store8(O + Pos, First8 | (static_cast<uint64_t>(Last) << (8 * Prev)));
        } else {
          Copy(PrevPos, Pos, Prev);
          O[Pos + Prev] = static_cast<uint8_t>(Last);
        }
        L = Prev + 1;
      } else {
        Known = false;
        int Sp = 0;
        uint32_t Cur = Code;
        if (Code >= FreeCode) {
          Cur = OldCode;
          Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        }
        if (!WalkChain(Entries, ClearCode, Lenient, Cur, Stack.get(), Sp)) {
          Corrupt = true;
          break;
        }
        FirstChar = Cur & PixelMask;
        Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        L = std::min<int64_t>(Sp, Total - Pos);
        for (int64_t I = 0; I < L; ++I) O[Pos + I] = Stack[--Sp];
      }
      if (!TableFull) {
        const bool NewKnown = PrevKnown && OldCode < FreeCode && Lens[OldCode] != 0;
        Entries[FreeCode] = OldCode | (FirstChar << 16);
        const uint32_t OldLen = Lens[OldCode];
        Lens[FreeCode] = static_cast<uint16_t>(NewKnown ? OldLen + 1 : 0);
        Heads[FreeCode] = OldLen < 8
                              ? Heads[OldCode] | (static_cast<uint64_t>(FirstChar) << (8 * OldLen))
                              : Heads[OldCode];
        Offs[FreeCode] = static_cast<uint32_t>(PrevPos);
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
      PrevPos = Pos;
      PrevKnown = Known;
      Pos += L;
    }
    Code = Reader.Next(Width, Mask);
  }
  DataCorrupt = Corrupt;
  R.Pos = Reader.Position();
  R.DistributeRows(O + Start, Pos - Start);
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
    const uint32_t PixelMask = (1u << Bits) - 1;

    if (R.W > 0 && R.H > 0) {
      R.Rows = Rows.data();
      uint32_t Last;
      if (!Progress) {
        Last = DecodeLinear(R, CodeSize, PixelMask, Lenient, DataCorrupt);
      } else {
        // Progress is reported after every code with the stream position, so this decoder
        // reads sub-blocks as it goes and writes each pixel where it belongs.
        if (Depth != 8) {
          R.Scratch.assign(static_cast<size_t>(R.W), 0);
          R.Line = R.Scratch.data();
        }
        R.SelectRow();
        try {
          Last = DecodeCodes<TWindowReader, true>(R, CodeSize, PixelMask, Lenient, DataCorrupt,
                                                  Progress);
        } catch (...) {
          R.FlushPartialRow();
          throw;
        }
        R.FlushPartialRow();
      }
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

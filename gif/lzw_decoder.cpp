// LZW decoding of GIF image data.
//
// Two decoders stand behind the entry points and produce the same pixels.
//
// The step-by-step decoder follows the data as they are laid out: it reads a sub-block when
// the next code needs its bits, unwinds each code's string through a table cleared for the
// call onto a stack, and puts the pixels one at a time. It reports progress after every code
// and is the reference the fast decoder is tested against.
//
// The fast decoder does less work for the same result:
// - Its tables live across calls (one set per thread) and are never cleared. The root codes
//   are set up when the code size or pixel mask changes. Codes below the next free code were
//   written in the current clear cycle; the checked walk used for damaged data reads an entry
//   at or above the highest code written in this call as prefix 0 and pixel 0, which is what
//   a table cleared for the call would hold.
// - The bit reader keeps up to 64 bits at hand and steps over sub-block headers as it
//   refills, so the code data are used where they are stored.
// - Pixels go straight into the output rows: 8-bit indices, or 32-bit colours through the
//   frame's colour table.
// - A code whose chain is well formed (each link a smaller code of the current clear cycle)
//   stands for a string that cannot change until the next clear, and its record keeps the
//   string's length, first and last pixel. Every new entry is the previous code's string
//   followed by one pixel; when that string was written in one piece, its place in the output
//   goes into the entry's record, and the entry is later written as one copy from there plus
//   its last pixel, instead of a walk through the table. Copying colours gives the same
//   picture as copying indices. A root code is the same copy of no pixels. A well-formed
//   string without a place is built from its nearest prefix that has one.
// - The copied pixels never overlap the ones being written: the source string was complete
//   before the current code began. Short copies move 16 bytes at a time and may write past the
//   string, but only inside the current row, which later codes overwrite; whatever the data
//   do not reach is set to index 0 at the end. Places within a chunk of the end of the rows
//   are not recorded, so that a chunk is never read from beyond them.
// - Codes that do not qualify (damaged data: codes above the next free one, chains through
//   entries not yet written) are unwound through the table with the same checks as the
//   step-by-step decoder.
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
// Bytes left over from the previous fill (at most 3) plus one sub-block (255), with slack.
constexpr int kWindowSize = 264;

// The code numbers of one code size, the current code width and the next free code.
struct TCodeSpace {
  uint32_t ClearCode, EndCode, FirstFree, InitWidth;
  uint32_t Width, Limit, Mask, FreeCode;
  bool TableFull;

  explicit TCodeSpace(int CodeSize)
      : ClearCode(1u << CodeSize),
        EndCode(ClearCode + 1),
        FirstFree(ClearCode + 2),
        InitWidth(static_cast<uint32_t>(CodeSize) + 1) {
    Clear();
  }
  void Clear() {
    Width = InitWidth;
    Limit = 1u << Width;
    Mask = Limit - 1;
    FreeCode = FirstFree;
    TableFull = false;
  }
  // Counts the entry just stored under FreeCode: the codes widen when the next free code
  // reaches the limit, up to 12 bits; then the table is full until the next clear.
  void Added() {
    if (++FreeCode < Limit) return;
    if (Width < 12) {
      ++Width;
      Limit <<= 1;
      Mask = Limit - 1;
    } else {
      TableFull = true;
    }
  }
};

// How decoding ended.
struct TRunEnd {
  uint32_t LastCode = kEndOfData;
  bool Corrupt = false;   // decoding stopped at damage (or the code size was clamped)
  bool BadChain = false;  // the damage was a chain longer than the stack
  bool RowsLeft = false;  // rows were still missing
  int64_t Consumed = 0;   // bytes of the data used
};

// ---- The step-by-step decoder ---------------------------------------------------------------

// Reads codes the way the data are laid out: sub-blocks are appended to a small window only
// when the next code needs their bits, so the position (and the progress percentage) advances
// one sub-block at a time.
class TWindowReader {
 public:
  TWindowReader(const uint8_t* Data, int64_t End, int64_t Pos)
      : FData(Data), FEnd(End), FPos(Pos) {}

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

// Puts pixels one at a time into bottom-up rows of 1, 4 or 8 bits per pixel, leftmost pixel in
// the most significant bits; rows follow in plain or interlaced order.
struct TPixelWriter {
  int W = 0, H = 0, Depth = 8;
  bool Interlaced = false;
  int64_t Stride = 0;
  uint8_t* Rows = nullptr;
  int X = 0, Y = 0, Pass = 0;
  uint8_t* Row = nullptr;

  void Start() { Row = Rows + static_cast<int64_t>(H - 1) * Stride; }

  void PutPixel(uint32_t Value) {
    if (Y >= H) return;
    if (Depth == 8) {
      Row[X] = static_cast<uint8_t>(Value);
    } else if (Depth == 4) {
      if (X & 1)
        Row[X >> 1] |= static_cast<uint8_t>(Value);
      else
        Row[X >> 1] = static_cast<uint8_t>(Value << 4);
    } else {
      if (X & 7)
        Row[X >> 3] |= static_cast<uint8_t>(Value << (7 - (X & 7)));
      else
        Row[X >> 3] = static_cast<uint8_t>(Value << 7);
    }
    if (++X < W) return;
    X = 0;
    Y = Interlaced ? NextInterlacedRow(Y, H, Pass) : Y + 1;
    if (Y < H) Row = Rows + static_cast<int64_t>(H - 1 - Y) * Stride;
  }
};

TRunEnd DecodeStepwise(const uint8_t* Data, int64_t Pos, int64_t End, int CodeSize,
                       uint32_t PixelMask, bool Corrupt, TPixelWriter& Out,
                       const TDecodeProgress& Progress, int64_t Base, int64_t StreamSize) {
  // Each entry: prefix code in the low 16 bits, last pixel in bits 16..23; zero until written.
  std::vector<uint32_t> Table(kTableSize, 0);
  uint8_t Stack[kStackSize];
  TWindowReader Reader(Data, End, Pos);
  TCodeSpace S(CodeSize);
  uint32_t OldCode = 0;
  uint32_t FirstChar = 0;
  TRunEnd Run;
  Run.Corrupt = Corrupt;
  Out.Start();

  uint32_t Code = Reader.Next(S.Width, S.Mask);
  // Data that do not begin with a clear code are read as if one preceded them.
  bool AfterClear = Code != S.ClearCode;
  while (Code != S.EndCode && Code != kEndOfData && Out.Y < Out.H) {
    if (Code == S.ClearCode || AfterClear) {
      if (!AfterClear) {
        S.Clear();
        Code = Reader.Next(S.Width, S.Mask);
        if (Code == kEndOfData) break;
      }
      AfterClear = false;
      // The code after a clear is taken as a literal pixel whatever its value.
      OldCode = Code;
      FirstChar = Code & PixelMask;
      Out.PutPixel(FirstChar);
    } else {
      // After a clamped code size nothing but the pixels that follow clear codes is trusted.
      if (Run.Corrupt) break;
      const uint32_t InCode = Code;
      uint32_t Cur = Code;
      int Sp = 0;
      if (Cur >= S.FreeCode) {
        Cur = OldCode;
        Stack[Sp++] = static_cast<uint8_t>(FirstChar);
      }
      while (Cur >= S.ClearCode && Sp <= kStackLimit) {
        const uint32_t E = Table[Cur];
        Stack[Sp++] = static_cast<uint8_t>(E >> 16);
        Cur = E & 0xFFFF;
      }
      if (Cur >= S.ClearCode) {
        Run.Corrupt = Run.BadChain = true;
        break;
      }
      FirstChar = Cur & PixelMask;
      Stack[Sp++] = static_cast<uint8_t>(FirstChar);
      while (Sp > 0) Out.PutPixel(Stack[--Sp]);
      if (!S.TableFull) {
        Table[S.FreeCode] = OldCode | (FirstChar << 16);
        S.Added();
      }
      OldCode = InCode;
    }
    Code = Reader.Next(S.Width, S.Mask);
    if (StreamSize > 0) {
      const double Done = static_cast<double>(Base + Reader.Position()) / StreamSize * 100.0;
      Progress(TDecodeStage::dsRunning, static_cast<int>(std::trunc(Done)), std::string());
    }
  }
  Run.LastCode = Code;
  Run.RowsLeft = Out.Y < Out.H;
  Run.Consumed = Reader.Position();
  return Run;
}

// ---- The fast decoder ---------------------------------------------------------------------

// Tables of the fast decoder, kept per thread across calls.
struct TDecoderTables {
  // prefix code | last pixel << 16, for the chain walk.
  uint32_t Entries[kTableSize];
  // One record per code, see MakeRecord.
  uint64_t Records[kTableSize];
  uint8_t Stack[kStackSize];
  int RootsCodeSize = 0;
  uint32_t RootsMask = 0;
  std::vector<uint8_t> Plane;  // index rows of frames stored at 1 or 4 bits per pixel
};

TDecoderTables& Tables() {
  thread_local std::unique_ptr<TDecoderTables> PerThread;
  if (!PerThread) PerThread = std::make_unique<TDecoderTables>();
  return *PerThread;
}

constexpr uint32_t kNoPlace = 0xFFFFFFFF;

// A code's record: Length is the length of its string when the chain is well formed, 0 when it
// is not known to be (1 for a root code); First and Last are its first and last pixels; Place
// is where its first Length - 1 pixels stand in the output, kNoPlace when they are not known
// to stand anywhere in one piece.
constexpr uint64_t MakeRecord(uint64_t Place, uint64_t Length, uint64_t First, uint64_t Last) {
  return Place | (Length << 32) | (First << 48) | (Last << 56);
}
constexpr uint32_t RecordPlace(uint64_t R) {
  return static_cast<uint32_t>(R);
}
constexpr uint32_t RecordLength(uint64_t R) {
  return static_cast<uint32_t>(R >> 32) & 0xFFFF;
}
constexpr uint32_t RecordFirst(uint64_t R) {
  return static_cast<uint32_t>(R >> 48) & 0xFF;
}
constexpr uint32_t RecordLast(uint64_t R) {
  return static_cast<uint32_t>(R >> 56);
}

// The bit reader's state: up to 64 bits at hand, the sub-block being read and the data end.
// Passed by value so that the decoding loop keeps it in registers.
struct TBits {
  uint64_t Acc;
  uint32_t Count;
  const uint8_t* Pos;
  const uint8_t* BlockEnd;
};

inline uint64_t LoadLittle64(const uint8_t* P) {
  uint64_t V;
  std::memcpy(&V, P, sizeof V);
  if constexpr (std::endian::native == std::endian::big) {
    uint64_t R = 0;
    for (int I = 0; I < 8; ++I) R |= ((V >> (8 * I)) & 0xFF) << (8 * (7 - I));
    V = R;
  }
  return V;
}

// Takes eight bytes of the current sub-block: the whole ones that fit are counted, the bits
// above them are the following bytes of the same sub-block, or-ed in again by the next fill.
inline void FillEight(TBits& B) {
  const uint32_t K = (63 - B.Count) >> 3;
  B.Acc |= LoadLittle64(B.Pos) << B.Count;
  B.Pos += K;
  B.Count += 8 * K;
}

// Fills byte by byte, stepping over sub-block headers: zero-size sub-blocks are skipped and a
// sub-block cut short by the end of the data gives what is there.
TBits FillAcrossBlocks(TBits B, const uint8_t* End) {
  while (B.Count <= 56) {
    if (B.Pos == B.BlockEnd) {
      if (B.Pos >= End) break;
      const uint32_t N = *B.Pos++;
      B.BlockEnd = B.Pos + std::min<int64_t>(N, End - B.Pos);
      continue;
    }
    if (B.BlockEnd - B.Pos >= 8) {
      FillEight(B);
      break;
    }
    B.Acc |= static_cast<uint64_t>(*B.Pos++) << B.Count;
    B.Count += 8;
  }
  return B;
}

// Bottom-up output rows of pixels of type T, handed out one row at a time in plain or
// interlaced order.
template <class T>
struct TRows {
  T* Base = nullptr;
  int64_t Stride = 0;  // in pixels
  int W = 0, H = 0;
  bool Interlaced = false;
  int Y = 0, Pass = 0;

  T* RowOf(int Row) const { return Base + static_cast<int64_t>(H - 1 - Row) * Stride; }
  // The next row, or null after the last.
  T* Next() {
    Y = Interlaced ? NextInterlacedRow(Y, H, Pass) : Y + 1;
    return Y < H ? RowOf(Y) : nullptr;
  }
};

// The next pixel to write and the end of its row; Out is null once every row is written.
template <class T>
struct TOut {
  T* Out;
  T* RowEnd;
};

template <class T>
TOut<T> NextRow(TRows<T>& Rows) {
  T* Row = Rows.Next();
  return TOut<T>{Row, Row ? Row + Rows.W : nullptr};
}

// N pixels from Src, across rows as needed; pixels beyond the last row are dropped.
template <class T>
TOut<T> PutRun(TRows<T>& Rows, TOut<T> O, const T* Src, int64_t N) {
  while (N > 0 && O.Out) {
    const int64_t K = std::min<int64_t>(N, O.RowEnd - O.Out);
    std::memcpy(O.Out, Src, static_cast<size_t>(K) * sizeof(T));
    Src += K;
    N -= K;
    O.Out += K;
    if (O.Out == O.RowEnd) O = NextRow(Rows);
  }
  return O;
}

// The unwound string on Stack (first pixel on top), across rows as needed.
template <class T, class TMap>
TOut<T> PutStack(TRows<T>& Rows, TOut<T> O, const uint8_t* Stack, int Sp, const TMap& Map) {
  while (Sp > 0 && O.Out) {
    const int64_t K = std::min<int64_t>(Sp, O.RowEnd - O.Out);
    for (int64_t I = 0; I < K; ++I) O.Out[I] = Map(Stack[--Sp]);
    O.Out += K;
    if (O.Out == O.RowEnd) O = NextRow(Rows);
  }
  return O;
}

// Index to pixel: the index itself, or its colour.
struct TIndexPixel {
  uint8_t operator()(uint32_t Index) const { return static_cast<uint8_t>(Index); }
};
struct TColorPixel {
  const uint32_t* Colors;
  uint32_t operator()(uint32_t Index) const { return Colors[Index]; }
};

template <class T, class TMap>
TRunEnd DecodeFast(const uint8_t* Data, int64_t Size, int CodeSize, uint32_t PixelMask,
                   bool Corrupt, T* Base, int64_t Stride, int W, int H, bool Interlaced,
                   const TMap& Map) {
  // Short strings are copied as a chunk of this many pixels: one or two 16-byte moves.
  constexpr int64_t kHalf = 16 / sizeof(T);
  constexpr int64_t kChunk = sizeof(T) == 1 ? 16 : 2 * kHalf;
  // Longer strings than this are left to memcpy.
  constexpr int64_t kLongString = 256;
  TDecoderTables& Tb = Tables();
  uint32_t* const Entries = Tb.Entries;
  uint64_t* const Records = Tb.Records;
  uint8_t* const Stack = Tb.Stack;
  const uint32_t ClearCode = 1u << CodeSize;
  const uint32_t EndCode = ClearCode + 1;
  const uint32_t FirstFree = ClearCode + 2;
  const uint32_t InitWidth = static_cast<uint32_t>(CodeSize) + 1;
  if (Tb.RootsCodeSize != CodeSize || Tb.RootsMask != PixelMask) {
    // A root code is written like any placed string: no pixels copied, then its last one.
    // Place 0 is only read as a chunk, which needs a row (and so rows) of a chunk's length.
    for (uint32_t C = 0; C < ClearCode; ++C)
      Records[C] = MakeRecord(0, 1, C & PixelMask, C & PixelMask);
    Tb.RootsCodeSize = CodeSize;
    Tb.RootsMask = PixelMask;
  }
  // The clear and end codes are never entries: a chain through them is not well formed.
  Records[ClearCode] = Records[EndCode] = 0;

  const uint8_t* const End = Data + Size;
  TBits B{0, 0, Data, Data};
  TRows<T> Rows{Base, Stride, W, H, Interlaced};
  TOut<T> O{Rows.RowOf(0), Rows.RowOf(0) + W};
  // A copy reads at most kLongString + kHalf pixels from where its source starts (a chunk, or
  // up to 16 bytes less one past the string); strings that close to the end of the rows are not
  // recorded as sources.
  const int64_t LastSource = Stride * H - (kLongString + kHalf);
  TRunEnd Run;
  Run.Corrupt = Corrupt;

  uint32_t Width = InitWidth;
  uint32_t Mask = (1u << Width) - 1;
  uint32_t FreeCode = FirstFree;
  uint32_t HighWater = FirstFree;  // with FreeCode: entries below it were written in this call
  uint32_t OldCode = 0;
  uint64_t FirstChar = 0;
  // The record of the next entry but its last pixel: the previous code's string, with its
  // place when it was written in one piece; 0 when that string is not known to be well formed.
  uint64_t Next = 0;
  uint32_t Code = kEndOfData;

  // The next code, or kEndOfData when fewer bits than the width remain.
  auto ReadCode = [&]() __attribute__((always_inline)) {
    if (B.Count < Width) {
      if (B.BlockEnd - B.Pos >= 8)
        FillEight(B);
      else
        B = FillAcrossBlocks(B, End);
      if (B.Count < Width) return kEndOfData;
    }
    const uint32_t V = static_cast<uint32_t>(B.Acc) & Mask;
    B.Acc >>= Width;
    B.Count -= Width;
    return V;
  };
  // The record of the next entry once the string of Record has been written at Start (null:
  // not in one piece).
  auto NextFrom = [&](uint64_t Record, const T* Start) __attribute__((always_inline)) {
    const uint64_t Length = RecordLength(Record);
    const int64_t Offset = Start ? Start - Base : LastSource + 1;
    const uint64_t Place = Offset <= LastSource ? static_cast<uint64_t>(Offset) : kNoPlace;
    return Length != 0 ? MakeRecord(Place, Length + 1, RecordFirst(Record), 0) : 0;
  };
  // The code after a clear is taken as a literal pixel whatever its value.
  auto StartCycle = [&]() __attribute__((always_inline)) {
    OldCode = Code;
    FirstChar = Code & PixelMask;
    Next = NextFrom(Code < ClearCode ? Records[Code] : 0, O.Out);
    *O.Out++ = Map(static_cast<uint32_t>(FirstChar));
    if (O.Out == O.RowEnd) O = NextRow(Rows);
  };

  Code = ReadCode();
  // Data that do not begin with a clear code are read as if one preceded them.
  if (Code != ClearCode && Code != EndCode && Code != kEndOfData) {
    StartCycle();
    if (O.Out) Code = ReadCode();
  }
  if (Corrupt) {
    // After a clamped code size nothing but the pixels that follow clear codes is trusted.
    while (O.Out && Code == ClearCode) {
      Code = ReadCode();
      if (Code == kEndOfData) break;
      StartCycle();
      if (O.Out) Code = ReadCode();
    }
  } else {
    while (O.Out && Code != EndCode && Code != kEndOfData) {
      // Not yet in the table: the previous string and its own first pixel.
      const uint64_t R = Code < FreeCode
                             ? Records[Code]
                             : (Next ? Next | (static_cast<uint64_t>(RecordFirst(Next)) << 56) : 0);
      const uint32_t Length = RecordLength(R);
      const uint32_t From = RecordPlace(R);
      T* const Start = O.Out;
      bool Whole = true;
      if (Length != 0 && From != kNoPlace && O.Out + Length <= O.RowEnd) {
        // A root code, or a well-formed string that stands in the output; it fits the row.
        FirstChar = RecordFirst(R);
        const T* Src = Base + From;
        if (Length <= kChunk && O.Out + kChunk <= O.RowEnd) {
          // 16 bytes at a time, each read before it is written: the source may run into the
          // chunk, but only past the string's own pixels.
          std::memmove(O.Out, Src, 16);
          if constexpr (kChunk > kHalf) std::memmove(O.Out + kHalf, Src + kHalf, 16);
        } else if (Length <= kLongString && O.Out + Length + kHalf <= O.RowEnd) {
          // Longer strings the same way, 16 bytes at a time.
          for (int64_t I = 0; I < Length - 1; I += kHalf) std::memmove(O.Out + I, Src + I, 16);
        } else {
          std::memcpy(O.Out, Src, static_cast<size_t>(Length - 1) * sizeof(T));
        }
        O.Out[Length - 1] = Map(RecordLast(R));
        O.Out += Length;
      } else if (Code == ClearCode) {
        HighWater = std::max(HighWater, FreeCode);
        Width = InitWidth;
        Mask = (1u << Width) - 1;
        FreeCode = FirstFree;
        Code = ReadCode();
        if (Code == kEndOfData) break;
        StartCycle();
        if (O.Out) Code = ReadCode();
        continue;
      } else if (Code == EndCode) {
        break;
      } else if (Length != 0 && From != kNoPlace) {
        // The same across rows.
        FirstChar = RecordFirst(R);
        O = PutRun(Rows, O, Base + From, Length - 1);
        if (O.Out) {
          const T Last = Map(RecordLast(R));
          O = PutRun(Rows, O, &Last, 1);
        }
        Whole = false;
      } else if (Length != 0) {
        // A well-formed string not written in one piece: its last pixels back to the nearest
        // prefix that was (a root code at the latest), then that prefix and those pixels.
        FirstChar = RecordFirst(R);
        int Sp = 0;
        uint32_t Link = Code < FreeCode ? Entries[Code] & 0xFFFF : OldCode;
        uint64_t Part = R;
        for (;;) {
          Stack[Sp++] = static_cast<uint8_t>(RecordLast(Part));
          Part = Records[Link];
          if (RecordPlace(Part) != kNoPlace) break;
          Link = Entries[Link] & 0xFFFF;
        }
        const int64_t Head = RecordLength(Part);
        const T* Src = Base + RecordPlace(Part);
        Whole = O.Out + Length <= O.RowEnd;
        if (Whole) {
          std::memcpy(O.Out, Src, static_cast<size_t>(Head - 1) * sizeof(T));
          O.Out[Head - 1] = Map(RecordLast(Part));
          T* Tail = O.Out + Head;
          for (int I = 0; I < Sp; ++I) Tail[I] = Map(Stack[Sp - 1 - I]);
          O.Out += Length;
        } else {
          const T HeadLast = Map(RecordLast(Part));
          O = PutRun(Rows, O, Src, Head - 1);
          if (O.Out) O = PutRun(Rows, O, &HeadLast, 1);
          if (O.Out) O = PutStack(Rows, O, Stack, Sp, Map);
        }
      } else {
        // Unwind through the table, with the checks damaged data need.
        int Sp = 0;
        uint32_t Cur = Code;
        if (Code >= FreeCode) {
          Cur = OldCode;
          Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        }
        const uint32_t Written = std::max(HighWater, FreeCode);
        while (Cur >= ClearCode && Sp <= kStackLimit) {
          const uint32_t E = (Cur >= FirstFree && Cur < Written) ? Entries[Cur] : 0;
          Stack[Sp++] = static_cast<uint8_t>(E >> 16);
          Cur = E & 0xFFFF;
        }
        if (Cur >= ClearCode) {
          Run.Corrupt = Run.BadChain = true;
          break;
        }
        FirstChar = Cur & PixelMask;
        Stack[Sp++] = static_cast<uint8_t>(FirstChar);
        Whole = O.Out + Sp <= O.RowEnd;
        if (Whole) {
          for (int I = 0; I < Sp; ++I) O.Out[I] = Map(Stack[Sp - 1 - I]);
          O.Out += Sp;
        } else {
          O = PutStack(Rows, O, Stack, Sp, Map);
        }
      }
      if (O.Out == O.RowEnd) O = NextRow(Rows);
      if (FreeCode < kTableSize) {
        // The new entry: the previous string and this string's first pixel.
        Records[FreeCode] = Next ? Next | (FirstChar << 56) : 0;
        Entries[FreeCode] = OldCode | static_cast<uint32_t>(FirstChar << 16);
        if (++FreeCode > Mask && Width < 12) {
          ++Width;
          Mask = Mask * 2 + 1;
        }
      }
      // A code at or above the next free one is not that string in the table, except the
      // one just added.
      Next = NextFrom(Code < FreeCode ? R : 0, Whole ? Start : nullptr);
      OldCode = Code;
      if (O.Out) Code = ReadCode();
    }
  }
  Run.LastCode = Code;
  Run.RowsLeft = O.Out != nullptr;
  Run.Consumed = B.BlockEnd - Data;
  // Whatever the data did not reach shows index 0 (this also overwrites chunks copied past the
  // last string).
  const T Zero = Map(0);
  while (O.Out) {
    std::fill(O.Out, O.RowEnd, Zero);
    O = NextRow(Rows);
  }
  return Run;
}

// Packs 8-bit indices into Depth bits per pixel (leftmost pixel in the high bits).
void PackPixels(const uint8_t* S, uint8_t* Dest, int Count, int Depth) {
  if (Depth == 4) {
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

// Reads the code-size byte: outside 2..9 it raises, or (lenient) is clamped and marks damage.
int ReadCodeSize(uint8_t Byte, bool Lenient, bool& Corrupt) {
  int CodeSize = Byte;
  if (CodeSize < 2 || CodeSize > 9) {
    if (!Lenient) RaiseGIFFailure(SGIFCodeSizeRange);
    Corrupt = true;
    CodeSize = std::clamp(CodeSize, 2, 9);
  }
  return CodeSize;
}

// The errors of a finished run.
void CheckRun(const TRunEnd& Run, bool Lenient) {
  if (Run.BadChain && !Lenient) RaiseGIFFailure(SGIFBadData);
  if (Run.LastCode == kEndOfData && Run.RowsLeft) RaiseGIFFailure(SGIFReadError);
}

// Frames with large index planes do not keep them per thread.
constexpr size_t kKeptPlaneBytes = size_t{4} << 20;

}  // namespace

TLZWResult DecodeLZW(TStream& CodeStream, const TLZWFrame& Frame, const TLZWOptions& Options,
                     std::span<uint8_t> Rows) {
  const TDecodeProgress* Progress =
      Options.Progress && *Options.Progress ? Options.Progress : nullptr;
  if (Progress) (*Progress)(TDecodeStage::dsStarting, 0, std::string());

  // Read straight from a memory stream's buffer; any other stream is copied once.
  const int64_t Base = CodeStream.Position();
  const int64_t StreamSize = CodeStream.Size();
  const uint8_t* Data;
  int64_t End;
  std::vector<uint8_t> Copy;
  if (auto* M = dynamic_cast<TMemoryStream*>(&CodeStream)) {
    Data = M->Memory() + std::min(Base, StreamSize);
    End = std::max<int64_t>(0, StreamSize - Base);
  } else {
    Copy.resize(static_cast<size_t>(std::max<int64_t>(0, StreamSize - Base)));
    End = Copy.empty() ? 0 : CodeStream.Read(Copy.data(), static_cast<int64_t>(Copy.size()));
    CodeStream.SetPosition(Base);
    Data = Copy.data();
  }

  TLZWResult Result;
  int64_t Pos = 0;
  try {
    const int Depth = Frame.Depth;
    if (Depth != 1 && Depth != 4 && Depth != 8) RaiseGIFFailure(SGIFColorCount);
    const int W = std::max(0, Frame.Width);
    const int H = std::max(0, Frame.Height);
    const int64_t Stride = DIBStride(W, Depth);
    if (static_cast<int64_t>(Rows.size()) < Stride * H)
      RaiseGIFFailure("GIF row buffer too small for the frame");

    if (Pos >= End) throw EReadError();
    bool Corrupt = false;
    const int CodeSize = ReadCodeSize(Data[Pos++], Options.Lenient, Corrupt);
    Result.DataCorrupt = Corrupt;
    // Pixel values never exceed what the bitmap depth can hold.
    const uint32_t PixelMask = (1u << std::clamp(Frame.PixelBits, 0, Depth)) - 1;

    if (W > 0 && H > 0) {
      TRunEnd Run;
      if (Progress) {
        TPixelWriter Out;
        Out.W = W;
        Out.H = H;
        Out.Depth = Depth;
        Out.Interlaced = Frame.Interlaced;
        Out.Stride = Stride;
        Out.Rows = Rows.data();
        Run = DecodeStepwise(Data, Pos, End, CodeSize, PixelMask, Corrupt, Out, *Progress, Base,
                             StreamSize);
      } else if (Depth == 8) {
        Run = DecodeFast(Data + Pos, End - Pos, CodeSize, PixelMask, Corrupt, Rows.data(), Stride,
                         W, H, Frame.Interlaced, TIndexPixel());
        Run.Consumed += Pos;
      } else {
        // One index per byte first, then packed row by row (both are stored bottom-up).
        std::vector<uint8_t>& Indices = Tables().Plane;
        Indices.resize(static_cast<size_t>(W) * H);
        Run = DecodeFast(Data + Pos, End - Pos, CodeSize, PixelMask, Corrupt, Indices.data(), W, W,
                         H, Frame.Interlaced, TIndexPixel());
        Run.Consumed += Pos;
        for (int R = 0; R < H; ++R)
          PackPixels(Indices.data() + static_cast<int64_t>(R) * W, Rows.data() + R * Stride, W,
                     Depth);
        if (Indices.capacity() > kKeptPlaneBytes) std::vector<uint8_t>().swap(Indices);
      }
      Pos = Run.Consumed;
      Result.LastCode = Run.LastCode;
      Result.DataCorrupt = Run.Corrupt;
      CheckRun(Run, Options.Lenient);
    }
  } catch (const std::exception& E) {
    CodeStream.SetPosition(Base + Pos);
    if (Progress) (*Progress)(TDecodeStage::dsEnding, 0, E.what());
    throw;
  }
  CodeStream.SetPosition(Base + Pos);
  if (Progress) (*Progress)(TDecodeStage::dsEnding, 100, std::string());
  return Result;
}

void DecodeLZW(TStream& CodeStream, int Width, int Height, int Depth, bool Interlaced,
               const TDecodeProgress* Progress, bool& DataCorrupt, std::span<uint8_t> Rows,
               int PixelBits, bool Lenient) {
  DataCorrupt = false;
  const TLZWResult R = DecodeLZW(CodeStream, TLZWFrame{Width, Height, Depth, PixelBits, Interlaced},
                                 TLZWOptions{Lenient, Progress}, Rows);
  DataCorrupt = R.DataCorrupt;
}

TLZWResult DecodeLZWToColors(std::span<const uint8_t> Code, const TLZWFrame& Frame, bool Lenient,
                             const uint32_t (&Colors)[256], uint32_t* Pixels) {
  if (Code.empty()) throw EReadError();
  TLZWResult Result;
  bool Corrupt = false;
  const int CodeSize = ReadCodeSize(Code[0], Lenient, Corrupt);
  Result.DataCorrupt = Corrupt;
  const int W = std::max(0, Frame.Width);
  const int H = std::max(0, Frame.Height);
  if (W == 0 || H == 0) return Result;
  const uint32_t PixelMask = (1u << std::clamp(Frame.PixelBits, 0, 8)) - 1;
  const TRunEnd Run =
      DecodeFast(Code.data() + 1, static_cast<int64_t>(Code.size()) - 1, CodeSize, PixelMask,
                 Corrupt, Pixels, W, W, H, Frame.Interlaced, TColorPixel{Colors});
  Result.LastCode = Run.LastCode;
  Result.DataCorrupt = Run.Corrupt;
  CheckRun(Run, Lenient);
  return Result;
}

}  // namespace orn

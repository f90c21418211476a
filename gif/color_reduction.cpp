#include "gif/color_reduction.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gfx/gdi.h"

namespace orn {

TReductionMethod DefaultReduction = TReductionMethod::rmPopularity;

namespace {

constexpr const char* SInvalidBitmap = "Bitmap image is not valid";

struct TRGB {
  uint8_t R = 0, G = 0, B = 0;
};
using TPalette = std::array<TRGB, 256>;

// The 24-bit source picture: bottom-up rows of blue, green, red.
struct TSource {
  int Width;
  int Height;
  int64_t Stride;
  const uint8_t* Rows;
  const uint8_t* Pixel(int StoredRow, int X) const {
    return Rows + StoredRow * Stride + static_cast<int64_t>(X) * 3;
  }
};

// The result rows: one palette index per pixel, stored in the source's row order.
struct TTarget {
  int64_t Stride;
  uint8_t* Rows;
  uint8_t& At(int StoredRow, int X) { return Rows[StoredRow * Stride + X]; }
};

// ---- Uniform palettes ---------------------------------------------------------------------

struct TLevelTables {
  // Lookups of NearestLevel for 4, 6, 7 and 8 levels, filled once.
  std::array<std::array<uint8_t, 256>, 9> Nearest{};
  TLevelTables() {
    for (int Count : {4, 6, 7, 8})
      for (int V = 0; V < 256; ++V) {
        int Best = 0;
        int BestDist = std::numeric_limits<int>::max();
        for (int I = 0; I < Count; ++I) {
          const int D = std::abs(V - LevelValue(Count, I));
          if (D < BestDist) {  // strictly nearer: ties keep the lower level
            Best = I;
            BestDist = D;
          }
        }
        Nearest[Count][V] = static_cast<uint8_t>(Best);
      }
  }
};

const TLevelTables& Levels() {
  static const TLevelTables Tables;
  return Tables;
}
// Built when the module is loaded, so concurrent first use never races.
[[maybe_unused]] const TLevelTables& LevelsAtStartup = Levels();

void ReduceUniform666(const TSource& S, TTarget& T, TPalette& Pal) {
  for (int R = 0; R < 6; ++R)
    for (int G = 0; G < 6; ++G)
      for (int B = 0; B < 6; ++B)
        Pal[36 * R + 6 * G + B] = {LevelValue(6, R), LevelValue(6, G), LevelValue(6, B)};
  for (int I = 216; I < 256; ++I) Pal[I] = {128, 128, 128};
  const auto& N6 = Levels().Nearest[6];
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      const uint8_t* P = S.Pixel(Y, X);
      T.At(Y, X) = static_cast<uint8_t>(36 * N6[P[2]] + 6 * N6[P[1]] + N6[P[0]]);
    }
}

void ReduceUniform784(const TSource& S, TTarget& T, TPalette& Pal) {
  for (int R = 0; R < 7; ++R)
    for (int G = 0; G < 8; ++G)
      for (int B = 0; B < 4; ++B)
        Pal[32 * R + 4 * G + B] = {LevelValue(7, R), LevelValue(8, G), LevelValue(4, B)};
  for (int I = 224; I < 256; ++I) Pal[I] = {128, 128, 128};
  const auto& L = Levels().Nearest;
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      const uint8_t* P = S.Pixel(Y, X);
      T.At(Y, X) = static_cast<uint8_t>(32 * L[7][P[2]] + 4 * L[8][P[1]] + L[4][P[0]]);
    }
}

void ReduceGreyScale(const TSource& S, TTarget& T, TPalette& Pal) {
  for (int I = 0; I < 256; ++I) {
    const auto V = static_cast<uint8_t>(I);
    Pal[I] = {V, V, V};
  }
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      const uint8_t* P = S.Pixel(Y, X);
      T.At(Y, X) = static_cast<uint8_t>((77 * P[2] + 150 * P[1] + 29 * P[0]) >> 8);
    }
}

void ReduceChannelCycle(const TSource& S, TTarget& T, TPalette& Pal) {
  for (int I = 0; I < 64; ++I) {
    const auto V = static_cast<uint8_t>(4 * I);
    Pal[I] = {V, 0, 0};
    Pal[64 + I] = {0, V, 0};
    Pal[128 + I] = {0, 0, V};
  }
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      const uint8_t* P = S.Pixel(Y, X);
      switch ((Y + X) % 3) {
        case 0:
          T.At(Y, X) = static_cast<uint8_t>(P[2] / 4);
          break;
        case 1:
          T.At(Y, X) = static_cast<uint8_t>(64 + P[1] / 4);
          break;
        default:
          T.At(Y, X) = static_cast<uint8_t>(128 + P[0] / 4);
          break;
      }
    }
}

// ---- Median cut ---------------------------------------------------------------------------

constexpr int kCellCount = 4096;
constexpr int kWantedColors = 256;

// One 4-bit colour: cell number red * 256 + green * 16 + blue (nibbles).
struct TColorCell {
  uint32_t Count = 0;
  uint8_t Box = 0;
  int16_t Next = -1;  // next cell of the same box
};

struct TCutBox {
  uint8_t Low[3] = {0, 0, 0};
  uint8_t Span[3] = {255, 255, 255};
  int CellCount = 0;
  uint32_t PixelCount = 0;
  int16_t First = -1;
};

// Channel 0 is red, 1 green, 2 blue.
int CellNibble(int Cell, int Channel) {
  return (Cell >> (8 - 4 * Channel)) & 15;
}

// Orders cell numbers by one channel's nibble. The order of equal keys is part of the result:
// it decides which cells fall on which side of a split.
void SortCells(int16_t* A, int N, int Channel) {
  if (N < 8) {
    for (int I = 1; I < N; ++I) {
      const int16_t X = A[I];
      const int Key = CellNibble(X, Channel);
      int J = I;
      while (J > 0 && CellNibble(A[J - 1], Channel) >= Key) {
        A[J] = A[J - 1];
        --J;
      }
      A[J] = X;
    }
    return;
  }
  const int Pivot = CellNibble(A[N / 2], Channel);
  int I = -1, J = N;
  for (;;) {
    do ++I;
    while (I < N - 1 && CellNibble(A[I], Channel) < Pivot);
    do --J;
    while (J > 0 && CellNibble(A[J], Channel) > Pivot);
    if (J <= I) break;
    std::swap(A[I], A[J]);
  }
  SortCells(A, I, Channel);
  SortCells(A + I, N - I, Channel);
}

void ReduceMedianCut(const TSource& S, TTarget& T, TPalette& Pal) {
  std::vector<TColorCell> Cells(kCellCount);
  std::vector<uint16_t> CellOf(static_cast<size_t>(S.Width) * S.Height);
  size_t K = 0;
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      const uint8_t* P = S.Pixel(Y, X);
      const int Cell = (P[2] >> 4) * 256 + (P[1] >> 4) * 16 + (P[0] >> 4);
      ++Cells[Cell].Count;
      CellOf[K++] = static_cast<uint16_t>(Cell);
    }

  std::vector<TCutBox> Boxes(kWantedColors);
  int BoxCount = 1;
  {
    TCutBox& B = Boxes[0];
    int16_t Last = -1;
    for (int C = 0; C < kCellCount; ++C) {
      if (Cells[C].Count == 0) continue;
      if (Last < 0)
        B.First = static_cast<int16_t>(C);
      else
        Cells[Last].Next = static_cast<int16_t>(C);
      Last = static_cast<int16_t>(C);
      ++B.CellCount;
    }
    B.PixelCount = static_cast<uint32_t>(static_cast<uint64_t>(S.Width) * S.Height);
  }

  std::vector<int16_t> Sorted(kCellCount);
  while (BoxCount < kWantedColors) {
    int Chosen = -1, Channel = 0, BestSpan = -1;
    for (int B = 0; B < BoxCount; ++B) {
      if (Boxes[B].CellCount <= 1) continue;
      for (int Ch = 0; Ch < 3; ++Ch)
        if (Boxes[B].Span[Ch] > BestSpan) {
          BestSpan = Boxes[B].Span[Ch];
          Chosen = B;
          Channel = Ch;
        }
    }
    if (Chosen < 0) break;
    TCutBox& Head = Boxes[Chosen];

    int N = 0;
    for (int16_t C = Head.First; C >= 0; C = Cells[C].Next) Sorted[N++] = C;
    SortCells(Sorted.data(), N, Channel);
    for (int I = 0; I + 1 < N; ++I) Cells[Sorted[I]].Next = Sorted[I + 1];
    Cells[Sorted[N - 1]].Next = -1;
    Head.First = Sorted[0];

    const uint32_t Half = Head.PixelCount / 2;
    int Keep = 1;
    uint64_t Sum = Cells[Sorted[0]].Count;
    for (int I = 1; I < N - 1; ++I) {
      Sum += Cells[Sorted[I]].Count;
      if (Sum <= Half)
        Keep = I + 1;
      else
        break;
    }

    TCutBox& Tail = Boxes[BoxCount++];
    Tail.First = Sorted[Keep];
    Cells[Sorted[Keep - 1]].Next = -1;
    Head.CellCount = Keep;
    Tail.CellCount = N - Keep;
    Head.PixelCount = 0;
    Tail.PixelCount = 0;
    for (int I = 0; I < Keep; ++I) Head.PixelCount += Cells[Sorted[I]].Count;
    for (int I = Keep; I < N; ++I) Tail.PixelCount += Cells[Sorted[I]].Count;

    std::memcpy(Tail.Low, Head.Low, 3);
    std::memcpy(Tail.Span, Head.Span, 3);
    const int KL = 16 * CellNibble(Sorted[Keep - 1], Channel);
    const int KT = 16 * CellNibble(Sorted[Keep], Channel);
    Tail.Span[Channel] = static_cast<uint8_t>(Head.Low[Channel] + Head.Span[Channel] - KT);
    Tail.Low[Channel] = static_cast<uint8_t>(KT);
    Head.Span[Channel] = static_cast<uint8_t>(KL - Head.Low[Channel]);
  }

  for (int B = 0; B < BoxCount; ++B) {
    const TCutBox& Box = Boxes[B];
    if (Box.CellCount == 0) continue;
    uint32_t SR = 0, SG = 0, SB = 0;
    for (int16_t C = Box.First; C >= 0; C = Cells[C].Next) {
      SR += CellNibble(C, 0);
      SG += CellNibble(C, 1);
      SB += CellNibble(C, 2);
      Cells[C].Box = static_cast<uint8_t>(B);
    }
    const uint32_t N = static_cast<uint32_t>(Box.CellCount);
    TRGB E{static_cast<uint8_t>((16 * SR + 15) / N), static_cast<uint8_t>((16 * SG + 15) / N),
           static_cast<uint8_t>((16 * SB + 15) / N)};
    if (E.R <= 16 && E.G <= 16 && E.B <= 16) E = {0, 0, 0};
    Pal[B] = E;
  }

  K = 0;
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) T.At(Y, X) = Cells[CellOf[K++]].Box;
}

// ---- Popularity ---------------------------------------------------------------------------

constexpr int kTallyEntries = 2049;
constexpr int kTallySlots = 5191;
constexpr uint16_t kEmptySlot = 0xFFFF;

struct TTallyEntry {
  uint8_t B = 0, G = 0, R = 0;
  uint32_t Count = 0;
  uint8_t Index = 0;
};

class TColorTally {
 public:
  uint8_t MaskR = 255, MaskG = 255, MaskB = 255;
  std::vector<TTallyEntry> Entries;
  std::vector<uint16_t> Slots;

  TColorTally() : Slots(kTallySlots, kEmptySlot) { Entries.reserve(kTallyEntries); }

  void Clear() {
    Entries.clear();
    std::fill(Slots.begin(), Slots.end(), kEmptySlot);
  }

  // The slot holding the masked colour, or the empty slot where it belongs.
  int Find(uint8_t R, uint8_t G, uint8_t B) const {
    int Slot = static_cast<int>(((R + G) * (G + B) * (B + R)) % kTallySlots);
    for (;;) {
      const uint16_t E = Slots[Slot];
      if (E == kEmptySlot) return Slot;
      const TTallyEntry& T = Entries[E];
      if (T.R == R && T.G == G && T.B == B) return Slot;
      if (++Slot == kTallySlots) Slot = 0;
    }
  }

  // Counts every pixel; false when more colours exist than entries.
  bool Tally(const TSource& S) {
    for (int Y = 0; Y < S.Height; ++Y)
      for (int X = 0; X < S.Width; ++X) {
        const uint8_t* P = S.Pixel(Y, X);
        const uint8_t R = P[2] & MaskR, G = P[1] & MaskG, B = P[0] & MaskB;
        const int Slot = Find(R, G, B);
        if (Slots[Slot] != kEmptySlot) {
          ++Entries[Slots[Slot]].Count;
          continue;
        }
        if (static_cast<int>(Entries.size()) == kTallyEntries) return false;
        Slots[Slot] = static_cast<uint16_t>(Entries.size());
        Entries.push_back({B, G, R, 1, 0});
      }
    return true;
  }

  // Takes one bit of precision from one channel.
  void DropBit() {
    if (MaskR < MaskG)
      MaskG = static_cast<uint8_t>(MaskG << 1);
    else if (MaskR > MaskB)
      MaskR = static_cast<uint8_t>(MaskR << 1);
    else
      MaskB = static_cast<uint8_t>(MaskB << 1);
  }
};

void ReducePopularity(const TSource& S, TTarget& T, TPalette& Pal) {
  TColorTally Tally;
  while (!Tally.Tally(S)) {
    Tally.DropBit();
    Tally.Clear();
  }
  auto& Entries = Tally.Entries;
  const int Count = static_cast<int>(Entries.size());
  int Filled = 0;
  for (; Filled < kWantedColors && Filled < Count; ++Filled) {
    int Best = 0;
    for (int E = 1; E < Count; ++E)
      if (Entries[E].Count > Entries[Best].Count) Best = E;
    Entries[Best].Index = static_cast<uint8_t>(Filled);
    Entries[Best].Count = 0;
    Pal[Filled] = {Entries[Best].R, Entries[Best].G, Entries[Best].B};
  }
  for (int I = Filled; I < 256; ++I) Pal[I] = {128, 128, 128};
  for (TTallyEntry& E : Entries) {
    if (E.Count == 0) continue;
    int Best = 0;
    int BestDist = std::numeric_limits<int>::max();
    for (int I = 0; I < kWantedColors; ++I) {
      const int DR = E.R - Pal[I].R, DG = E.G - Pal[I].G, DB = E.B - Pal[I].B;
      const int D = DR * DR + DG * DG + DB * DB;
      if (D < BestDist) {
        Best = I;
        BestDist = D;
      }
    }
    E.Index = static_cast<uint8_t>(Best);
  }
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      const uint8_t* P = S.Pixel(Y, X);
      const int Slot = Tally.Find(P[2] & Tally.MaskR, P[1] & Tally.MaskG, P[0] & Tally.MaskB);
      T.At(Y, X) = Entries[Tally.Slots[Slot]].Index;
    }
}

void PutLE(uint8_t* P, uint32_t V, int Bytes) {
  for (int I = 0; I < Bytes; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}

// Restores the context's palette and deletes it when the pixels have been read.
struct TReadContext {
  HDC Dc = CreateCompatibleDC(nullptr);
  HPALETTE OldPalette = nullptr;
  ~TReadContext() {
    if (Dc == nullptr) return;
    if (OldPalette != nullptr) SelectPalette(Dc, OldPalette, false);
    DeleteDC(Dc);
  }
};

}  // namespace

uint8_t LevelValue(int Count, int Index) {
  return static_cast<uint8_t>((Index * 255 * 2 + (Count - 1)) / (2 * (Count - 1)));
}

int NearestLevel(int Count, uint8_t Value) {
  if (Count != 4 && Count != 6 && Count != 7 && Count != 8) return 0;
  return Levels().Nearest[Count][Value];
}

std::unique_ptr<TMemoryStream> ReduceRGBRows(int Width, int Height,
                                             const std::vector<uint8_t>& Rows,
                                             TReductionMethod Method) {
  const int64_t SrcStride = (3 * static_cast<int64_t>(Width) + 3) & ~int64_t{3};
  if (Width <= 0 || Height <= 0 || static_cast<int64_t>(Rows.size()) < SrcStride * Height)
    throw EInvalidGraphic(SInvalidBitmap);
  const int64_t DstStride = (static_cast<int64_t>(Width) + 3) & ~int64_t{3};
  const int64_t ImageSize = DstStride * Height;
  if (ReducedPixelOffset + ImageSize > std::numeric_limits<uint32_t>::max())
    throw EInvalidGraphic(SInvalidBitmap);

  auto Result = std::make_unique<TMemoryStream>();
  Result->SetSize(ReducedPixelOffset + ImageSize);
  uint8_t* Out = Result->Memory();
  std::memset(Out, 0, static_cast<size_t>(ReducedPixelOffset + ImageSize));

  const TSource Src{Width, Height, SrcStride, Rows.data()};
  TTarget Dst{DstStride, Out + ReducedPixelOffset};
  TPalette Pal{};
  switch (Method) {
    case TReductionMethod::rmPopularity:
      ReducePopularity(Src, Dst, Pal);
      break;
    case TReductionMethod::rmMedianCut:
      ReduceMedianCut(Src, Dst, Pal);
      break;
    case TReductionMethod::rmUniform784:
      ReduceUniform784(Src, Dst, Pal);
      break;
    case TReductionMethod::rmUniform666:
      ReduceUniform666(Src, Dst, Pal);
      break;
    case TReductionMethod::rmChannelCycle:
      ReduceChannelCycle(Src, Dst, Pal);
      break;
    case TReductionMethod::rmGreyScale:
      ReduceGreyScale(Src, Dst, Pal);
      break;
  }

  Out[0] = 'B';
  Out[1] = 'M';
  PutLE(Out + 2, static_cast<uint32_t>(ReducedPixelOffset + ImageSize), 4);
  PutLE(Out + 10, static_cast<uint32_t>(ReducedPixelOffset), 4);
  uint8_t* Info = Out + 14;
  PutLE(Info + 0, 40, 4);
  PutLE(Info + 4, static_cast<uint32_t>(Width), 4);
  PutLE(Info + 8, static_cast<uint32_t>(Height), 4);
  PutLE(Info + 12, 1, 2);
  PutLE(Info + 14, 8, 2);
  PutLE(Info + 20, static_cast<uint32_t>(ImageSize), 4);
  uint8_t* Colors = Out + 54;
  for (int I = 0; I < 256; ++I) {
    Colors[4 * I + 0] = Pal[I].B;
    Colors[4 * I + 1] = Pal[I].G;
    Colors[4 * I + 2] = Pal[I].R;
  }
  Result->SetPosition(0);
  return Result;
}

std::unique_ptr<TMemoryStream> ReduceBitmap(TBitmap& Bitmap, TReductionMethod Method) {
  const HBITMAP Handle = Bitmap.Empty() ? nullptr : Bitmap.Handle();
  TDIBSection Info;
  if (Handle == nullptr || GetObject(Handle, Info) == 0) throw EInvalidGraphic(SInvalidBitmap);
  const int Width = Info.dsBm.bmWidth;
  const int Height = Info.dsBm.bmHeight < 0 ? -Info.dsBm.bmHeight : Info.dsBm.bmHeight;
  if (Width <= 0 || Height <= 0) throw EInvalidGraphic(SInvalidBitmap);

  const int64_t Stride = (3 * static_cast<int64_t>(Width) + 3) & ~int64_t{3};
  std::vector<uint8_t> Rows(static_cast<size_t>(Stride * Height), 0);
  {
    TReadContext Ctx;
    if (Ctx.Dc == nullptr) throw EInvalidGraphic(SInvalidBitmap);
    if (HPALETTE Pal = Bitmap.GetPalette(); Pal != nullptr) {
      Ctx.OldPalette = SelectPalette(Ctx.Dc, Pal, false);
      RealizePalette(Ctx.Dc);
    }
    TBitmapInfoHeader Header;
    Header.biWidth = Width;
    Header.biHeight = Height;
    Header.biPlanes = 1;
    Header.biBitCount = 24;
    Header.biSizeImage = static_cast<uint32_t>(Stride * Height);
    if (GetDIBits(Ctx.Dc, Handle, 0, Height, Rows.data(), Header, nullptr) == 0)
      throw EInvalidGraphic(SInvalidBitmap);
  }
  return ReduceRGBRows(Width, Height, Rows, Method);
}

}  // namespace orn

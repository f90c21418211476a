// Bitmaps, palettes and device contexts of the software graphics device, and the block
// transfers between them.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "gfx/gdi.h"

namespace orn {

namespace {

// Stored 32-bit pixels are read and written as little-endian words (blue in the low byte).
static_assert(std::endian::native == std::endian::little);

std::atomic<bool> GFastPaths{true};

// Pixel storage of recently deleted bitmaps, kept per thread for the next bitmaps made: work
// bitmaps made and deleted on every draw then cost no fresh pages from the system.
class TStoragePool {
 public:
  static constexpr size_t MinBytes = size_t{16} * 1024;
  static constexpr size_t MaxBytes = size_t{4} * 1024 * 1024;  // per buffer
  static constexpr size_t MaxTotal = size_t{8} * 1024 * 1024;  // kept by one thread
  static constexpr size_t MaxKept = 6;

  std::vector<uint8_t> Take(size_t Bytes) {
    if (Bytes < MinBytes) return {};
    // The smallest kept buffer that is large enough and not wastefully larger.
    size_t Best = FKept.size();
    for (size_t I = 0; I < FKept.size(); ++I)
      if (FKept[I].capacity() >= Bytes && FKept[I].capacity() / 4 <= Bytes &&
          (Best == FKept.size() || FKept[I].capacity() < FKept[Best].capacity()))
        Best = I;
    if (Best == FKept.size()) return {};
    std::vector<uint8_t> V = std::move(FKept[Best]);
    FTotal -= V.capacity();
    FKept.erase(FKept.begin() + static_cast<std::ptrdiff_t>(Best));
    return V;
  }
  void Give(std::vector<uint8_t>&& V) {
    if (V.capacity() < MinBytes || V.capacity() > MaxBytes) return;
    FTotal += V.capacity();
    FKept.push_back(std::move(V));
    // The oldest go first.
    while (FKept.size() > MaxKept || FTotal > MaxTotal) {
      FTotal -= FKept.front().capacity();
      FKept.erase(FKept.begin());
    }
  }

 private:
  std::vector<std::vector<uint8_t>> FKept;
  size_t FTotal = 0;
};

#ifdef _WIN32
// The mingw-w64 runtime's thread-local destructors let a worker thread that drew crash as it
// ends (a late free reaching a pool already gone), so a Windows build keeps no storage:
// every bitmap allocates its own.
constexpr bool KeepStorage = false;
#else
constexpr bool KeepStorage = true;
#endif

TStoragePool& StoragePool() {
  thread_local TStoragePool Pool;
  return Pool;
}

TDib MakeDib(int Width, int Height, int BitCount) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  size_t Bytes = 0;
  if (Width <= MaxBitmapDimension && Height <= MaxBitmapDimension)
    Bytes = static_cast<size_t>(TDib::StrideOf(Width, BitCount)) * static_cast<size_t>(Height);
  return TDib(Width, Height, BitCount,
              KeepStorage ? StoragePool().Take(Bytes) : std::vector<uint8_t>{});
}

bool IsMono(const TGdiBitmap* B) {
  return B && B->Dib.BitCount == 1;
}

TPoint ToDevice(HDC Dc, int X, int Y) {
  const TDCState& S = Dc->State;
  return TPoint{X - S.WindowOrg.X + S.ViewportOrg.X, Y - S.WindowOrg.Y + S.ViewportOrg.Y};
}

// The RGB a context gives a colour value. On a palette target (an indexed bitmap)
// palette-relative values take the nearest entry of the selected palette (unless it is the
// stock one) and palette indexes name an entry; a true-colour or monochrome target takes the
// low 24 bits as RGB, as the real platform does for devices without palettes.
TColor Resolve(HDC Dc, TColor Color) {
  bool PaletteTarget =
      Dc && Dc->Bitmap && Dc->Bitmap->Dib.BitCount >= 4 && Dc->Bitmap->Dib.BitCount <= 8;
  HPALETTE Pal = PaletteTarget ? Dc->State.Palette : nullptr;
  uint32_t High = Color >> 24;
  if (High == 0x01 && Pal) {
    size_t Index = Color & 0xFFFF;
    if (Index < Pal->Entries.size()) {
      const TPaletteEntry& E = Pal->Entries[Index];
      return RGB(E.peRed, E.peGreen, E.peBlue);
    }
    return clBlack;
  }
  if ((High & 0x02) && Pal && Pal != GetStockPalette() && !Pal->Entries.empty()) {
    int Index = GetNearestPaletteIndex(Pal, Color & 0xFFFFFF);
    const TPaletteEntry& E = Pal->Entries[static_cast<size_t>(Index)];
    return RGB(E.peRed, E.peGreen, E.peBlue);
  }
  return Color & 0xFFFFFF;
}

bool NearerWhite(TColor C) {
  return GetRValue(C) + GetGValue(C) + GetBValue(C) >= 383;
}

// The value a target stores for an RGB colour drawn as a solid colour.
uint32_t SolidValue(const TGdiBitmap& Target, TColor Rgb) {
  const TDib& D = Target.Dib;
  if (D.BitCount > 8) return Rgb;
  if (D.BitCount == 1 && !Target.IsDIB) return NearerWhite(Rgb) ? 1 : 0;
  return static_cast<uint32_t>(D.NearestIndex(Rgb));
}

TColor ShownColor(const TGdiBitmap& B, int X, int Y) {
  if (B.Dib.BitCount == 1 && !B.IsDIB) return B.Dib.Raw(X, Y) ? clWhite : clBlack;
  return B.Dib.PixelColor(X, Y);
}

uint32_t ApplyRop(uint8_t Rop, uint32_t P, uint32_t S, uint32_t D, uint32_t Mask) {
  switch (Rop) {
    case 0xCC:
      return S;
    case 0x88:
      return S & D;
    case 0xEE:
      return S | D;
    case 0x33:
      return ~S & Mask;
    case 0x66:
      return S ^ D;
    case 0xF0:
      return P;
    case 0x00:
      return 0;
    case 0xFF:
      return Mask;
    case 0x55:
      return ~D & Mask;
    default:
      break;
  }
  // Any other ternary operation from its truth table over pattern, source and destination.
  uint32_t R = 0;
  for (int I = 0; I < 8; ++I) {
    if (!(Rop & (1 << I))) continue;
    uint32_t T = ((I & 4) ? P : ~P) & ((I & 2) ? S : ~S) & ((I & 1) ? D : ~D);
    R |= T;
  }
  return R & Mask;
}

uint32_t ValueMask(const TDib& D) {
  return D.BitCount > 8 ? 0xFFFFFFu : ((1u << D.BitCount) - 1);
}

// The rectangles of Target (device coordinates) that drawing may touch: Area within the bitmap
// and the clip region.
std::vector<TRect> DrawableRects(HDC Dc, const TRect& Area) {
  std::vector<TRect> Out;
  TRect Bounds{0, 0, Dc->Bitmap->Dib.Width, Dc->Bitmap->Dib.Height};
  TRect R;
  if (!IntersectRect(R, Area, Bounds)) return Out;
  if (!Dc->State.Clip) {
    Out.push_back(R);
    return Out;
  }
  for (const TRect& C : Dc->State.Clip->Rects) {
    TRect Part;
    if (IntersectRect(Part, R, C)) Out.push_back(Part);
  }
  return Out;
}

bool ClipAllows(HDC Dc, int X, int Y) {
  if (!Dc->State.Clip) return true;
  for (const TRect& C : Dc->State.Clip->Rects)
    if (C.Contains(X, Y)) return true;
  return false;
}

// Turns source pixels into destination values following the monochrome rules.
class TConverter {
 public:
  TConverter(HDC Dest, HDC Src, const TGdiBitmap& SrcBitmap)
      : FDest(*Dest->Bitmap), FSrc(SrcBitmap) {
    FDestMono = FDest.Dib.BitCount == 1;
    FSrcMono = FSrc.Dib.BitCount == 1;
    FSrcBk = Resolve(Src, Src->State.BkColor);
    FDestBk = Resolve(Dest, Dest->State.BkColor);
    FDestText = Resolve(Dest, Dest->State.TextColor);
    if (FSrc.Dib.BitCount <= 8) {
      for (size_t I = 0; I < (size_t{1} << FSrc.Dib.BitCount); ++I) FIndexed.push_back(Convert(I));
    }
  }
  uint32_t operator()(int X, int Y) {
    uint32_t Raw = FSrc.Dib.Raw(X, Y);
    if (!FIndexed.empty()) return FIndexed[Raw];
    return FromRGB(Raw);
  }
  // Destination values of every index of an indexed source (empty for other sources).
  const std::vector<uint32_t>& Indexed() const { return FIndexed; }
  TColor SrcBk() const { return FSrcBk; }
  uint32_t FromRGB(TColor Rgb) {
    if (FDestMono) return Rgb == FSrcBk ? 1 : 0;
    return ToDest(Rgb);
  }

 private:
  uint32_t Convert(uint32_t Raw) {
    if (FSrcMono && FDestMono) return Raw;
    if (FSrcMono && !FSrc.IsDIB) return ToDest(Raw ? FDestBk : FDestText);
    // A colour table shorter than the depth allows shows black for the missing entries.
    if (Raw >= FSrc.Dib.Colors.size()) return FromRGB(clBlack);
    const TRGBQuad& Q = FSrc.Dib.Colors[Raw];
    return FromRGB(RGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue));
  }
  uint32_t ToDest(TColor Rgb) {
    if (FDest.Dib.BitCount > 8) return Rgb;
    if (FDestMono) return NearerWhite(Rgb) ? 1 : 0;
    auto It = FCache.find(Rgb);
    if (It != FCache.end()) return It->second;
    uint32_t V = static_cast<uint32_t>(FDest.Dib.NearestIndex(Rgb));
    FCache.emplace(Rgb, V);
    return V;
  }

  const TGdiBitmap& FDest;
  const TGdiBitmap& FSrc;
  bool FDestMono = false;
  bool FSrcMono = false;
  TColor FSrcBk = 0, FDestBk = 0, FDestText = 0;
  std::vector<uint32_t> FIndexed;
  std::unordered_map<TColor, uint32_t> FCache;
};

uint32_t SwapRB(uint32_t V) {
  return ((V & 0xFF) << 16) | (V & 0xFF00) | ((V >> 16) & 0xFF);
}
uint32_t LoadWord(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return V;
}
void StoreWord(uint8_t* P, uint32_t V) {
  std::memcpy(P, &V, 4);
}

// One axis of a block transfer, negative extents already turned into mirroring: destination
// pixels DestOrigin .. DestOrigin+DestSize-1 show source pixels SrcOrigin .. SrcOrigin+SrcSize-1
// stretched over them, in reverse order when Mirror is set. Positions are device coordinates;
// 64-bit arithmetic keeps the products of extreme extents exact.
struct TTransferAxis {
  int64_t DestOrigin = 0;
  int64_t DestSize = 1;
  int64_t SrcOrigin = 0;
  int64_t SrcSize = 1;
  bool Mirror = false;

  // Destination pixel Pos, counted from the end the source starts at.
  int64_t Step(int64_t Pos) const {
    const int64_t I = Pos - DestOrigin;
    return Mirror ? DestSize - 1 - I : I;
  }
  // The source pixel destination pixel Pos shows.
  int64_t SourceOf(int64_t Pos) const { return SrcOrigin + Step(Pos) * SrcSize / DestSize; }
  // The source pixels [Lo, Hi) destination pixel Pos stands for, within 0 .. Limit-1: its own
  // source pixel and, with Fold, those a shrink drops before the next destination pixel's.
  void Block(int64_t Pos, bool Fold, int64_t Limit, int64_t& Lo, int64_t& Hi) const {
    const int64_t I = Step(Pos);
    const int64_t First = I * SrcSize / DestSize;
    int64_t End = First + 1;
    if (Fold) End = std::max(End, (I + 1) * SrcSize / DestSize);
    Lo = std::max<int64_t>(SrcOrigin + First, 0);
    Hi = std::min<int64_t>(SrcOrigin + End, Limit);
  }
};

// Turns a negative extent (reaching left or up from Origin) into the positive one over the same
// pixels, and flips Mirror. False for the one extent that has no positive counterpart.
bool TakeOutMirror(int& Origin, int& Size, bool& Mirror) {
  if (Size >= 0) return true;
  if (Size == INT32_MIN) return false;
  Origin = static_cast<int>(std::clamp<int64_t>(int64_t{Origin} + Size, INT32_MIN, INT32_MAX));
  Size = -Size;
  Mirror = !Mirror;
  return true;
}

// What a shrinking transfer does with the source pixels that fall between two destination
// pixels: drops them (COLORONCOLOR, HALFTONE), or folds them in with AND (BLACKONWHITE) or OR
// (WHITEONBLACK).
enum class TShrinkFold { Drop, And, Or };

// One block transfer, set up. Source values are kept in the destination's own form: stored
// words (blue low) for 32 bits, bits for monochrome, the generic pixel values for the other
// depths.
struct TTransferJob {
  HDC Dest = nullptr;            // the destination context, for its clip region
  TDib* Target = nullptr;        // the destination's pixels
  TRect Area;                    // the destination area, device coordinates within int range
  TTransferAxis X, Y;            // the mapping of destination columns and rows to the source's
  bool UsesSource = false;       // the raster operation reads the source
  const TDib* Source = nullptr;  // the source's pixels (a snapshot when both are one bitmap)
  TConverter* Conv = nullptr;    // turns source pixels into destination values
  uint8_t Rop = 0;               // the ternary raster operation
  uint32_t Pattern = 0;          // the brush as a destination value
  uint32_t Mask = 0;             // the bits a destination value has
  TShrinkFold Fold = TShrinkFold::Drop;
};

// The ways a transfer moves its pixels. All give the same pixels; the tests compare them with
// PixelByPixel.
enum class TTransferStrategy {
  SpanCopy,      // plain copy between 32-bit bitmaps at the same size: row spans move whole
  Rows,          // a row at a time, each destination pixel from at most one source pixel
  FoldedRows,    // a row at a time, shrinking with the dropped pixels folded in
  PixelByPixel,  // the general rules, pixel after pixel (when the fast paths are off)
};

template <class TSrc, class F>
void RopRow32(uint8_t* D, TSrc S, int N, F Op) {
  for (int I = 0; I < N; ++I) StoreWord(D + I * 4, Op(S(I), LoadWord(D + I * 4) & 0xFFFFFFu));
}

// Combines N stored 32-bit pixels at D with the source values S(0) .. S(N-1).
template <class TSrc>
void ApplyRow32(uint8_t Code, uint32_t P, uint8_t* D, TSrc S, int N) {
  switch (Code) {
    case 0xCC:
      RopRow32(D, S, N, [](uint32_t Sv, uint32_t) { return Sv; });
      break;
    case 0x88:
      RopRow32(D, S, N, [](uint32_t Sv, uint32_t Dv) { return Sv & Dv; });
      break;
    case 0xEE:
      RopRow32(D, S, N, [](uint32_t Sv, uint32_t Dv) { return Sv | Dv; });
      break;
    case 0x33:
      RopRow32(D, S, N, [](uint32_t Sv, uint32_t) { return ~Sv & 0xFFFFFFu; });
      break;
    case 0x66:
      RopRow32(D, S, N, [](uint32_t Sv, uint32_t Dv) { return Sv ^ Dv; });
      break;
    case 0xF0:
      RopRow32(D, S, N, [P](uint32_t, uint32_t) { return P; });
      break;
    default:
      RopRow32(D, S, N, [Code, P](uint32_t Sv, uint32_t Dv) {
        return ApplyRop(Code, P, Sv, Dv, 0xFFFFFFu);
      });
      break;
  }
}

// Monochrome rows: whole bytes are combined eight pixels at once (the operations are bitwise),
// the ragged ends bit by bit. S(X) is the source bit of column X; SByte(X), for X a multiple of
// 8, the source bits of columns X .. X+7 (first column in the high bit).
template <class TSrc, class TSrcByte>
void ApplyRow1(uint8_t Code, uint32_t P, uint8_t* Row, int X0, int X1, TSrc S, TSrcByte SByte) {
  auto Bit = [&](int X) {
    uint8_t M = static_cast<uint8_t>(0x80 >> (X & 7));
    uint32_t Old = (Row[X >> 3] & M) ? 1 : 0;
    if (ApplyRop(Code, P, S(X), Old, 1) & 1)
      Row[X >> 3] |= M;
    else
      Row[X >> 3] &= static_cast<uint8_t>(~M);
  };
  int X = X0;
  for (; X < X1 && (X & 7); ++X) Bit(X);
  const uint32_t PB = P ? 0xFFu : 0u;
  switch (Code) {
    case 0xCC:
      for (; X + 8 <= X1; X += 8) Row[X >> 3] = SByte(X);
      break;
    case 0x33:
      for (; X + 8 <= X1; X += 8) Row[X >> 3] = static_cast<uint8_t>(~SByte(X));
      break;
    default:
      for (; X + 8 <= X1; X += 8)
        Row[X >> 3] = static_cast<uint8_t>(ApplyRop(Code, PB, SByte(X), Row[X >> 3], 0xFF));
      break;
  }
  for (; X < X1; ++X) Bit(X);
}

// Destination values of source row SY for destination columns X0..X1-1; Cols gives each
// column's source column.
void DecodeRow(const TTransferJob& J, int SY, const int* Cols, int N, bool Contiguous,
               uint32_t* Out, const std::vector<uint32_t>& Lut) {
  const uint8_t* Row = J.Source->ScanLine(SY);
  const int DestBits = J.Target->BitCount;
  switch (J.Source->BitCount) {
    case 8:
      for (int I = 0; I < N; ++I) Out[I] = Lut[Row[Cols[I]]];
      return;
    case 4:
      for (int I = 0; I < N; ++I) {
        int C = Cols[I];
        Out[I] = Lut[(Row[C >> 1] >> ((C & 1) ? 0 : 4)) & 0x0F];
      }
      return;
    case 1: {
      int I = 0;
      if (Contiguous) {
        // Whole source bytes give eight pixels each.
        const uint32_t L0 = Lut[0], L1 = Lut[1];
        int C = Cols[0];
        for (; I < N && (C & 7); ++I, ++C) Out[I] = (Row[C >> 3] >> (7 - (C & 7))) & 1 ? L1 : L0;
        const uint32_t Diff = L0 ^ L1;
        for (; I + 8 <= N; I += 8, C += 8) {
          const uint32_t B = Row[C >> 3];
          for (int K = 0; K < 8; ++K) Out[I + K] = L0 ^ (Diff & (0u - ((B >> (7 - K)) & 1)));
        }
      }
      for (; I < N; ++I) {
        int C = Cols[I];
        Out[I] = Lut[(Row[C >> 3] >> (7 - (C & 7))) & 1];
      }
      return;
    }
    default:
      break;
  }
  if (J.Source->BitCount == 32 && DestBits != 24 && DestBits > 8) {
    for (int I = 0; I < N; ++I) Out[I] = LoadWord(Row + Cols[I] * 4) & 0xFFFFFFu;
    return;
  }
  if (J.Source->BitCount == 32 && DestBits == 1) {
    const uint32_t Bk = SwapRB(J.Conv->SrcBk());
    for (int I = 0; I < N; ++I) Out[I] = (LoadWord(Row + Cols[I] * 4) & 0xFFFFFFu) == Bk ? 1 : 0;
    return;
  }
  const int Bytes = J.Source->BitCount / 8;
  auto Word = [&](int C) {
    const uint8_t* P = Row + C * Bytes;
    return uint32_t{P[0]} | (uint32_t{P[1]} << 8) | (uint32_t{P[2]} << 16);
  };
  if (DestBits == 32) {
    for (int I = 0; I < N; ++I) Out[I] = Word(Cols[I]);
  } else if (DestBits == 1) {
    const uint32_t Bk = SwapRB(J.Conv->SrcBk());
    for (int I = 0; I < N; ++I) Out[I] = Word(Cols[I]) == Bk ? 1 : 0;
  } else {
    for (int I = 0; I < N; ++I) Out[I] = J.Conv->FromRGB(SwapRB(Word(Cols[I])));
  }
}

// Destination values of the indexes of an indexed source, in the form the row code stores;
// empty for other sources.
std::vector<uint32_t> IndexLookup(const TTransferJob& J) {
  std::vector<uint32_t> Lut;
  if (J.UsesSource && J.Source->BitCount <= 8) {
    Lut = J.Conv->Indexed();
    if (J.Target->BitCount == 32)
      for (uint32_t& V : Lut) V = SwapRB(V);
  }
  return Lut;
}

// The brush in the form the row code stores.
uint32_t StoredPattern(const TTransferJob& J) {
  return J.Target->BitCount == 32 ? SwapRB(J.Pattern) : J.Pattern;
}

// Eight values of 0 or 1 as one byte, the first in the high bit.
uint32_t PackBits(const uint32_t* V) {
  return (V[0] << 7) | (V[1] << 6) | (V[2] << 5) | (V[3] << 4) | (V[4] << 3) | (V[5] << 2) |
         (V[6] << 1) | V[7];
}

// Combines the source values Vals[0 .. X1-X0-1] into columns X0 .. X1-1 of row PY. Inlined
// into the row loops (as StoreRowInPlace is): a call per row costs a measurable share of a
// plain fill or copy.
[[gnu::always_inline]] inline void StoreRow(const TTransferJob& J, uint32_t Pattern, int PY, int X0,
                                            int X1, const uint32_t* Vals) {
  TDib& DD = *J.Target;
  uint8_t* Row = DD.ScanLine(PY);
  if (DD.BitCount == 32) {
    ApplyRow32(
        J.Rop, Pattern, Row + X0 * 4, [Vals](int I) { return Vals[I]; }, X1 - X0);
  } else if (DD.BitCount == 1) {
    ApplyRow1(
        J.Rop, Pattern, Row, X0, X1, [Vals, X0](int X) { return Vals[X - X0]; },
        [Vals, X0](int X) { return PackBits(Vals + (X - X0)); });
  } else {
    for (int PX = X0; PX < X1; ++PX)
      DD.SetRaw(PX, PY, ApplyRop(J.Rop, Pattern, Vals[PX - X0], DD.Raw(PX, PY), J.Mask));
  }
}

// Where a row transfer takes the source values of a destination row from.
enum class TRowSource {
  Decoded,       // converted into a buffer, reused while a stretch repeats the source row
  Words32,       // 32 to 32 bits at the same size: the source row read in place
  AlignedBits,   // monochrome to monochrome at the same size, bit for bit, with source and
                 // destination bytes lined up: whole source bytes read in place
  ColourToMono,  // 32 bits to monochrome at the same size: 1 where the source shows its
                 // background colour, read in place
};

// The row source for the columns from X0 on, whose first source column is FirstSrcCol.
// Contiguous: same width and not mirrored, so consecutive columns read consecutive pixels.
TRowSource ChooseRowSource(const TTransferJob& J, bool Contiguous, const std::vector<uint32_t>& Lut,
                           int X0, int FirstSrcCol) {
  if (!Contiguous) return TRowSource::Decoded;
  const int SrcBits = J.Source->BitCount, DestBits = J.Target->BitCount;
  if (SrcBits == 32 && DestBits == 32) return TRowSource::Words32;
  if (SrcBits == 32 && DestBits == 1) return TRowSource::ColourToMono;
  if (SrcBits == 1 && DestBits == 1 && Lut[0] == 0 && Lut[1] == 1 && ((FirstSrcCol - X0) & 7) == 0)
    return TRowSource::AlignedBits;
  return TRowSource::Decoded;
}

// Combines source row SY, read in place as Kind says, into columns X0 .. X1-1 of row PY;
// source column FirstSrcCol goes to X0.
[[gnu::always_inline]] inline void StoreRowInPlace(const TTransferJob& J, TRowSource Kind,
                                                   uint32_t Pattern, int PY, int SY, int X0, int X1,
                                                   int FirstSrcCol) {
  uint8_t* Row = J.Target->ScanLine(PY);
  const uint8_t* SRow = J.Source->ScanLine(SY);
  const int Shift = FirstSrcCol - X0;
  switch (Kind) {
    case TRowSource::Words32: {
      const uint8_t* SP = SRow + FirstSrcCol * 4;
      ApplyRow32(
          J.Rop, Pattern, Row + X0 * 4, [SP](int I) { return LoadWord(SP + I * 4) & 0xFFFFFFu; },
          X1 - X0);
      break;
    }
    case TRowSource::ColourToMono: {
      const uint32_t Bk = SwapRB(J.Conv->SrcBk());
      auto Is = [SRow, Shift, Bk](int X) {
        return (LoadWord(SRow + (X + Shift) * 4) & 0xFFFFFFu) == Bk ? 1u : 0u;
      };
      ApplyRow1(J.Rop, Pattern, Row, X0, X1, Is, [Is](int X) {
        uint32_t B = 0;
        for (int K = 0; K < 8; ++K) B = (B << 1) | Is(X + K);
        return B;
      });
      break;
    }
    case TRowSource::AlignedBits:  // Shift is a multiple of 8
      ApplyRow1(
          J.Rop, Pattern, Row, X0, X1,
          [SRow, Shift](int X) {
            return static_cast<uint32_t>((SRow[(X + Shift) >> 3] >> (7 - ((X + Shift) & 7))) & 1);
          },
          [SRow, Shift](int X) { return static_cast<uint32_t>(SRow[(X + Shift) >> 3]); });
      break;
    case TRowSource::Decoded:
      break;
  }
}

// The source column of every destination column of Span (Cols, counted from Span.Left) and the
// run [Lo, Hi) of the columns whose source lies inside the source bitmap (they form one run);
// false when there is none.
bool MapColumns(const TTransferJob& J, const TRect& Span, std::vector<int>& Cols, int& Lo,
                int& Hi) {
  Cols.assign(static_cast<size_t>(Span.Width()), 0);
  Lo = Span.Right;
  Hi = Span.Left;
  for (int PX = Span.Left; PX < Span.Right; ++PX) {
    const int64_t SX = J.X.SourceOf(PX);
    if (SX < 0 || SX >= J.Source->Width) continue;
    Cols[static_cast<size_t>(PX - Span.Left)] = static_cast<int>(SX);
    Lo = std::min(Lo, PX);
    Hi = std::max(Hi, PX + 1);
  }
  return Lo < Hi;
}

// A transfer in which every destination pixel takes at most one source pixel. Works a row at a
// time: the source column of each destination column is computed once, each source row is
// turned into destination values once (and reused while the stretch repeats it) or read in
// place, and the raster operation runs over the row.
void RowTransfer(const TTransferJob& J) {
  TDib& DD = *J.Target;
  TRect Span;
  if (!IntersectRect(Span, J.Area, TRect{0, 0, DD.Width, DD.Height})) return;
  std::vector<int> Cols;
  int VLo = Span.Left, VHi = Span.Right;
  if (J.UsesSource && !MapColumns(J, Span, Cols, VLo, VHi)) return;
  const bool Contiguous = J.UsesSource && J.X.SrcSize == J.X.DestSize && !J.X.Mirror;
  const std::vector<uint32_t> Lut = IndexLookup(J);
  const uint32_t Pattern = StoredPattern(J);
  std::vector<uint32_t> Vals(static_cast<size_t>(VHi - VLo), 0);
  int64_t CachedRow = -1;
  int CachedLo = 0, CachedHi = 0;

  for (const TRect& R : DrawableRects(J.Dest, J.Area)) {
    const int X0 = std::max(R.Left, VLo), X1 = std::min(R.Right, VHi);
    if (X0 >= X1) continue;
    uint32_t* S = Vals.data() + (X0 - VLo);
    if (!J.UsesSource) {
      for (int PY = R.Top; PY < R.Bottom; ++PY) StoreRow(J, Pattern, PY, X0, X1, S);
      continue;
    }
    const int* RunCols = Cols.data() + (X0 - Span.Left);
    const TRowSource Kind = ChooseRowSource(J, Contiguous, Lut, X0, RunCols[0]);
    for (int PY = R.Top; PY < R.Bottom; ++PY) {
      const int64_t SY = J.Y.SourceOf(PY);
      if (SY < 0 || SY >= J.Source->Height) continue;
      if (Kind != TRowSource::Decoded) {
        StoreRowInPlace(J, Kind, Pattern, PY, static_cast<int>(SY), X0, X1, RunCols[0]);
        continue;
      }
      if (SY != CachedRow || X0 < CachedLo || X1 > CachedHi) {
        DecodeRow(J, static_cast<int>(SY), RunCols, X1 - X0, Contiguous, S, Lut);
        CachedRow = SY;
        CachedLo = X0;
        CachedHi = X1;
      }
      StoreRow(J, Pattern, PY, X0, X1, S);
    }
  }
}

// The blocks of source columns the destination columns of a folding shrink take.
struct TColumnBlocks {
  int64_t SrcFirst = 0, SrcEnd = 0;  // the source columns any block touches
  std::vector<int> Lo, Hi;           // per column of the span, counted from SrcFirst
  int RunLo = 0, RunHi = 0;          // the run of columns whose block is not empty
};

// The source block of every destination column of Span; false when all are empty.
bool MapColumnBlocks(const TTransferJob& J, const TRect& Span, TColumnBlocks& B) {
  const size_t N = static_cast<size_t>(Span.Width());
  B.Lo.assign(N, 0);
  B.Hi.assign(N, 0);
  B.SrcFirst = J.Source->Width;
  B.SrcEnd = 0;
  for (int PX = Span.Left; PX < Span.Right; ++PX) {
    int64_t Lo, Hi;
    J.X.Block(PX, true, J.Source->Width, Lo, Hi);
    if (Lo >= Hi) continue;
    B.Lo[static_cast<size_t>(PX - Span.Left)] = static_cast<int>(Lo);
    B.Hi[static_cast<size_t>(PX - Span.Left)] = static_cast<int>(Hi);
    B.SrcFirst = std::min(B.SrcFirst, Lo);
    B.SrcEnd = std::max(B.SrcEnd, Hi);
  }
  if (B.SrcFirst >= B.SrcEnd) return false;
  B.RunLo = Span.Right;
  B.RunHi = Span.Left;
  for (int PX = Span.Left; PX < Span.Right; ++PX) {
    const size_t C = static_cast<size_t>(PX - Span.Left);
    if (B.Lo[C] >= B.Hi[C]) continue;
    B.Lo[C] -= static_cast<int>(B.SrcFirst);
    B.Hi[C] -= static_cast<int>(B.SrcFirst);
    B.RunLo = std::min(B.RunLo, PX);
    B.RunHi = std::max(B.RunHi, PX + 1);
  }
  return true;
}

// Folds one converted source row V into the N accumulated values Acc: Acc[I] takes
// V[Lo[I]] .. V[Hi[I]-1]; the first row of a block starts the values afresh.
void FoldRow(const uint32_t* V, const int* Lo, const int* Hi, uint32_t* Acc, int N, bool First,
             bool Or) {
  if (First)
    for (int I = 0; I < N; ++I) Acc[I] = V[Lo[I]];
  if (Or) {
    for (int I = 0; I < N; ++I)
      for (int K = Lo[I]; K < Hi[I]; ++K) Acc[I] |= V[K];
  } else {
    for (int I = 0; I < N; ++I)
      for (int K = Lo[I]; K < Hi[I]; ++K) Acc[I] &= V[K];
  }
}

// A shrinking transfer that folds the dropped pixels in: each destination pixel takes the
// block of source pixels between its own source position and the next one's, within the
// source bitmap. Every source row of a block is converted once, then folded column block by
// column block.
void FoldedRowTransfer(const TTransferJob& J) {
  TDib& DD = *J.Target;
  TRect Span;
  if (!IntersectRect(Span, J.Area, TRect{0, 0, DD.Width, DD.Height})) return;
  TColumnBlocks Blocks;
  if (!MapColumnBlocks(J, Span, Blocks)) return;
  const std::vector<uint32_t> Lut = IndexLookup(J);
  const uint32_t Pattern = StoredPattern(J);
  const bool Or = J.Fold == TShrinkFold::Or;
  // Source columns SrcFirst .. SrcEnd-1 of one source row, converted.
  std::vector<int> SrcCols(static_cast<size_t>(Blocks.SrcEnd - Blocks.SrcFirst));
  for (size_t I = 0; I < SrcCols.size(); ++I)
    SrcCols[I] = static_cast<int>(Blocks.SrcFirst + int64_t(I));
  std::vector<uint32_t> SrcVals(SrcCols.size());
  std::vector<uint32_t> Acc(static_cast<size_t>(Span.Width()));

  for (const TRect& R : DrawableRects(J.Dest, J.Area)) {
    const int X0 = std::max(R.Left, Blocks.RunLo), X1 = std::min(R.Right, Blocks.RunHi);
    if (X0 >= X1) continue;
    const size_t C0 = static_cast<size_t>(X0 - Span.Left);
    uint32_t* A = Acc.data() + C0;
    for (int PY = R.Top; PY < R.Bottom; ++PY) {
      int64_t RowLo, RowHi;
      J.Y.Block(PY, true, J.Source->Height, RowLo, RowHi);
      if (RowLo >= RowHi) continue;
      for (int64_t SY = RowLo; SY < RowHi; ++SY) {
        DecodeRow(J, static_cast<int>(SY), SrcCols.data(), static_cast<int>(SrcCols.size()), true,
                  SrcVals.data(), Lut);
        FoldRow(SrcVals.data(), Blocks.Lo.data() + C0, Blocks.Hi.data() + C0, A, X1 - X0,
                SY == RowLo, Or);
      }
      StoreRow(J, Pattern, PY, X0, X1, A);
    }
  }
}

// Plain copies between 32-bit bitmaps at the same size move whole row spans.
void CopySpans(const TTransferJob& J) {
  TDib& DD = *J.Target;
  const TDib& SD = *J.Source;
  const int64_t Shift = J.X.SrcOrigin - J.X.DestOrigin;  // source column minus destination column
  for (const TRect& R : DrawableRects(J.Dest, J.Area)) {
    for (int PY = R.Top; PY < R.Bottom; ++PY) {
      const int64_t SY = J.Y.SourceOf(PY);
      if (SY < 0 || SY >= SD.Height) continue;
      const int64_t First = std::max<int64_t>(R.Left, -Shift);
      const int64_t Last = std::min<int64_t>(R.Right, SD.Width - Shift);
      if (First >= Last) continue;
      std::memmove(DD.ScanLine(PY) + First * 4,
                   SD.ScanLine(static_cast<int>(SY)) + (First + Shift) * 4,
                   static_cast<size_t>(Last - First) * 4);
    }
  }
}

// The source value destination pixel (PX, PY) takes by the general rules: its block of source
// pixels within the source bitmap, folded as the job says. False when the block is empty.
bool SourceValue(const TTransferJob& J, int PX, int PY, uint32_t& Out) {
  const bool Fold = J.Fold != TShrinkFold::Drop;
  int64_t X0, X1, Y0, Y1;
  J.X.Block(PX, Fold, J.Source->Width, X0, X1);
  J.Y.Block(PY, Fold, J.Source->Height, Y0, Y1);
  bool Any = false;
  uint32_t V = 0;
  for (int64_t Sy = Y0; Sy < Y1; ++Sy) {
    for (int64_t Sx = X0; Sx < X1; ++Sx) {
      const uint32_t C = (*J.Conv)(static_cast<int>(Sx), static_cast<int>(Sy));
      if (!Any)
        V = C;
      else if (J.Fold == TShrinkFold::Or)
        V |= C;
      else
        V &= C;
      Any = true;
    }
  }
  Out = V;
  return Any;
}

// The general rules, pixel after pixel: the reference the other strategies are checked against.
void PixelTransfer(const TTransferJob& J) {
  TDib& DD = *J.Target;
  for (const TRect& R : DrawableRects(J.Dest, J.Area)) {
    for (int PY = R.Top; PY < R.Bottom; ++PY) {
      for (int PX = R.Left; PX < R.Right; ++PX) {
        uint32_t S = 0;
        if (J.UsesSource && !SourceValue(J, PX, PY, S)) continue;
        DD.SetRaw(PX, PY, ApplyRop(J.Rop, J.Pattern, S, DD.Raw(PX, PY), J.Mask));
      }
    }
  }
}

TTransferStrategy ChooseStrategy(const TTransferJob& J) {
  if (!GFastPaths) return TTransferStrategy::PixelByPixel;
  const bool SameSize = J.X.SrcSize == J.X.DestSize && J.Y.SrcSize == J.Y.DestSize;
  if (J.UsesSource && J.Rop == 0xCC && !J.X.Mirror && !J.Y.Mirror && SameSize &&
      J.Source->BitCount == 32 && J.Target->BitCount == 32)
    return TTransferStrategy::SpanCopy;
  return J.Fold == TShrinkFold::Drop ? TTransferStrategy::Rows : TTransferStrategy::FoldedRows;
}

// Moves the job's pixels by the fastest strategy that applies to it.
void RunTransfer(const TTransferJob& J) {
  switch (ChooseStrategy(J)) {
    case TTransferStrategy::SpanCopy:
      return CopySpans(J);
    case TTransferStrategy::Rows:
      return RowTransfer(J);
    case TTransferStrategy::FoldedRows:
      return FoldedRowTransfer(J);
    case TTransferStrategy::PixelByPixel:
      return PixelTransfer(J);
  }
}

// The fold a transfer with these extents and stretch mode uses.
TShrinkFold FoldOf(bool UsesSource, int W, int H, int SW, int SH, int StretchMode) {
  if (!UsesSource || (SW <= W && SH <= H)) return TShrinkFold::Drop;
  if (StretchMode == BLACKONWHITE) return TShrinkFold::And;
  if (StretchMode == WHITEONBLACK) return TShrinkFold::Or;
  return TShrinkFold::Drop;
}

bool Transfer(HDC Dest, int X, int Y, int W, int H, HDC Src, int SX, int SY, int SW, int SH,
              uint32_t Rop) {
  if (!Dest || !Dest->Bitmap) return false;
  const uint8_t Code = static_cast<uint8_t>(Rop >> 16);
  const bool UsesSource = ((Code >> 2) & 0x33) != (Code & 0x33);
  if (UsesSource && (!Src || !Src->Bitmap)) return false;
  if (W == 0 || H == 0 || (UsesSource && (SW == 0 || SH == 0))) return true;

  TPoint D0 = ToDevice(Dest, X, Y);
  TPoint S0;
  bool MirrorX = false, MirrorY = false;
  if (!TakeOutMirror(D0.X, W, MirrorX) || !TakeOutMirror(D0.Y, H, MirrorY)) return false;
  if (UsesSource) {
    S0 = ToDevice(Src, SX, SY);
    if (!TakeOutMirror(S0.X, SW, MirrorX) || !TakeOutMirror(S0.Y, SH, MirrorY)) return false;
  }

  // A copy within one bitmap reads from a snapshot, so overlapping areas come out right.
  std::optional<TGdiBitmap> Snapshot;
  if (UsesSource && Src->Bitmap == Dest->Bitmap) Snapshot = *Src->Bitmap;
  const TGdiBitmap* SB = Snapshot ? &*Snapshot : (UsesSource ? Src->Bitmap : nullptr);
  std::optional<TConverter> Conv;
  if (UsesSource) Conv.emplace(Dest, Src, *SB);

  // The target area, kept within int range whatever extents the caller passed.
  auto Clamp = [](int64_t V) {
    return static_cast<int>(std::clamp<int64_t>(V, -(int64_t{1} << 30), int64_t{1} << 30));
  };
  TDib& DD = Dest->Bitmap->Dib;
  const TTransferJob Job{
      .Dest = Dest,
      .Target = &DD,
      .Area = TRect{Clamp(D0.X), Clamp(D0.Y), Clamp(int64_t{D0.X} + W), Clamp(int64_t{D0.Y} + H)},
      .X = {.DestOrigin = D0.X, .DestSize = W, .SrcOrigin = S0.X, .SrcSize = SW, .Mirror = MirrorX},
      .Y = {.DestOrigin = D0.Y, .DestSize = H, .SrcOrigin = S0.Y, .SrcSize = SH, .Mirror = MirrorY},
      .UsesSource = UsesSource,
      .Source = UsesSource ? &SB->Dib : nullptr,
      .Conv = Conv ? &*Conv : nullptr,
      .Rop = Code,
      .Pattern = SolidValue(*Dest->Bitmap, Resolve(Dest, Dest->State.BrushColor)),
      .Mask = ValueMask(DD),
      .Fold = FoldOf(UsesSource, W, H, SW, SH, Dest->State.StretchMode),
  };
  RunTransfer(Job);
  return true;
}

// The colours indexed pixels of Bitmap show, one entry per value, as words with blue in the
// low byte.
void ShownWordTable(const TGdiBitmap& Bitmap, uint32_t (&Table)[256]) {
  const TDib& D = Bitmap.Dib;
  for (uint32_t I = 0; I < (1u << D.BitCount); ++I) {
    TColor C;
    if (D.BitCount == 1 && !Bitmap.IsDIB)
      C = I ? clWhite : clBlack;
    else
      C = I < D.Colors.size() ? RGB(D.Colors[I].rgbRed, D.Colors[I].rgbGreen, D.Colors[I].rgbBlue)
                              : clBlack;
    Table[I] = SwapRB(C);
  }
}

// The colour pixel X of stored row Row shows, as a word with blue in the low byte; indexed
// pixels go through Table.
uint32_t ShownWord(const TDib& D, const uint8_t* Row, int X, const uint32_t* Table) {
  switch (D.BitCount) {
    case 1:
      return Table[(Row[X >> 3] >> (7 - (X & 7))) & 1];
    case 4:
      return Table[(Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 0x0F];
    case 8:
      return Table[Row[X]];
    default: {
      const uint8_t* P = Row + X * (D.BitCount / 8);
      return uint32_t{P[0]} | (uint32_t{P[1]} << 8) | (uint32_t{P[2]} << 16);
    }
  }
}

}  // namespace

void SetBlockTransferFastPaths(bool On) {
  GFastPaths.store(On);
}

// ---- Bitmaps and palettes ------------------------------------------------------------------

HBITMAP CreateBitmap(int Width, int Height, int /*Planes*/, int BitCount) {
  auto* B = new TGdiBitmap;
  B->Dib = MakeDib(Width, Height, BitCount == 1 ? 1 : 32);
  B->Dib.Colors.clear();
  B->IsDIB = false;
  return B;
}

HBITMAP CreateCompatibleBitmap(HDC Dc, int Width, int Height) {
  bool Mono = Dc && IsMono(Dc->Bitmap);
  return CreateBitmap(Width, Height, 1, Mono ? 1 : 32);
}

HBITMAP CreateDIBSection(TDib Dib) {
  auto* B = new TGdiBitmap;
  B->Dib = std::move(Dib);
  B->IsDIB = true;
  return B;
}

bool DeleteObject(HBITMAP Bitmap) {
  if (!Bitmap) return false;
  if (KeepStorage) StoragePool().Give(std::move(Bitmap->Dib.Bits));
  delete Bitmap;
  return true;
}

int GetObject(HBITMAP Bitmap, TDIBSection& Info) {
  Info = TDIBSection{};
  if (!Bitmap) return 0;
  TDib& D = Bitmap->Dib;
  Info.dsBm.bmWidth = D.Width;
  Info.dsBm.bmHeight = D.Height;
  Info.dsBm.bmWidthBytes = D.Stride();
  Info.dsBm.bmBitsPixel = static_cast<uint16_t>(D.BitCount);
  if (!Bitmap->IsDIB) return SizeOfBitmapObject;
  Info.dsBm.bmBits = D.Bits.data();
  Info.dsBmih.biWidth = D.Width;
  Info.dsBmih.biHeight = D.Height;
  Info.dsBmih.biBitCount = static_cast<uint16_t>(D.BitCount);
  Info.dsBmih.biSizeImage = static_cast<uint32_t>(D.Stride() * D.Height);
  Info.dsBmih.biClrUsed = D.BitCount <= 8 ? (1u << D.BitCount) : 0;
  return SizeOfDIBSection;
}

int GetDIBits(HDC /*Dc*/, HBITMAP Bitmap, int StartScan, int ScanLines, void* Bits,
              TBitmapInfoHeader& Info, TRGBQuad* Colors) {
  if (!Bitmap) return 0;
  const TDib& D = Bitmap->Dib;
  int Want = Info.biBitCount;
  if (Want == 0) Want = D.BitCount;
  bool Same = Want == D.BitCount && D.BitCount <= 8;
  if (Want != 24 && Want != 32 && !Same) return 0;
  int Stride = TDib::StrideOf(D.Width, Want);
  Info.biSize = 40;
  Info.biWidth = D.Width;
  Info.biHeight = D.Height;
  Info.biPlanes = 1;
  Info.biBitCount = static_cast<uint16_t>(Want);
  Info.biCompression = 0;
  Info.biSizeImage = static_cast<uint32_t>(Stride * D.Height);
  Info.biClrUsed = 0;
  if (!Bits) return D.Height;
  int First = std::clamp(StartScan, 0, D.Height);
  int Last = std::clamp(StartScan + ScanLines, First, D.Height);
  auto* Out = static_cast<uint8_t*>(Bits);
  if (Same) {
    if (Colors) {
      for (size_t I = 0; I < D.Colors.size(); ++I) Colors[I] = D.Colors[I];
      if (!Bitmap->IsDIB && D.BitCount == 1) {
        Colors[0] = TRGBQuad{0, 0, 0, 0};
        Colors[1] = TRGBQuad{255, 255, 255, 0};
      }
    }
    for (int Row = First; Row < Last; ++Row)
      std::memcpy(Out + static_cast<size_t>(Row - First) * Stride,
                  D.Bits.data() + static_cast<size_t>(Row) * D.Stride(), Stride);
    return Last - First;
  }
  uint32_t Table[256] = {};
  if (D.BitCount <= 8) ShownWordTable(*Bitmap, Table);
  const int Bytes = Want / 8;
  for (int Row = First; Row < Last; ++Row) {
    uint8_t* Line = Out + static_cast<size_t>(Row - First) * Stride;
    std::memset(Line, 0, Stride);
    const uint8_t* In = D.Bits.data() + static_cast<size_t>(Row) * D.Stride();
    for (int X = 0; X < D.Width; ++X) {
      const uint32_t V = ShownWord(D, In, X, Table);
      uint8_t* P = Line + X * Bytes;
      P[0] = static_cast<uint8_t>(V);
      P[1] = static_cast<uint8_t>(V >> 8);
      P[2] = static_cast<uint8_t>(V >> 16);
    }
  }
  return Last - First;
}

HPALETTE CreatePalette(const std::vector<TPaletteEntry>& Entries) {
  auto* P = new TGdiPalette;
  P->Entries = Entries;
  return P;
}

HPALETTE GetStockPalette() {
  static TGdiPalette Stock{
      {{0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
       {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
       {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
       {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
       {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}}};
  return &Stock;
}

bool DeleteObject(HPALETTE Palette) {
  if (!Palette || Palette == GetStockPalette()) return false;
  delete Palette;
  return true;
}

int GetPaletteEntries(HPALETTE Palette, int Start, int Count, TPaletteEntry* Entries) {
  if (!Palette) return 0;
  int N = static_cast<int>(Palette->Entries.size());
  if (!Entries) return N;
  int Copied = 0;
  for (int I = Start; I < Start + Count && I < N; ++I)
    if (I >= 0) Entries[Copied++] = Palette->Entries[static_cast<size_t>(I)];
  return Copied;
}

int GetNearestPaletteIndex(HPALETTE Palette, TColor Color) {
  if (!Palette || Palette->Entries.empty()) return -1;
  int Best = 0, BestDist = INT32_MAX;
  for (size_t I = 0; I < Palette->Entries.size(); ++I) {
    const TPaletteEntry& E = Palette->Entries[I];
    int DR = E.peRed - GetRValue(Color), DG = E.peGreen - GetGValue(Color),
        DB = E.peBlue - GetBValue(Color);
    int D = DR * DR + DG * DG + DB * DB;
    if (D < BestDist) {
      BestDist = D;
      Best = static_cast<int>(I);
    }
  }
  return Best;
}

// ---- Device contexts -------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC /*Dc*/) {
  auto* Dc = new TDeviceContext;
  Dc->StockBitmap.Dib = MakeDib(1, 1, 1);
  Dc->StockBitmap.Dib.Colors.clear();
  Dc->Bitmap = &Dc->StockBitmap;
  Dc->State.Palette = GetStockPalette();
  return Dc;
}

bool DeleteDC(HDC Dc) {
  if (!Dc) return false;
  delete Dc;
  return true;
}

HBITMAP SelectObject(HDC Dc, HBITMAP Bitmap) {
  if (!Dc || !Bitmap) return nullptr;
  HBITMAP Old = Dc->Bitmap;
  Dc->Bitmap = Bitmap;
  return Old;
}

HBITMAP GetCurrentBitmap(HDC Dc) {
  return Dc ? Dc->Bitmap : nullptr;
}

TColor SetBkColor(HDC Dc, TColor Color) {
  if (!Dc) return CLR_INVALID;
  return std::exchange(Dc->State.BkColor, Color);
}
TColor GetBkColor(HDC Dc) {
  return Dc ? Dc->State.BkColor : CLR_INVALID;
}
TColor SetTextColor(HDC Dc, TColor Color) {
  if (!Dc) return CLR_INVALID;
  return std::exchange(Dc->State.TextColor, Color);
}
TColor GetTextColor(HDC Dc) {
  return Dc ? Dc->State.TextColor : CLR_INVALID;
}
TColor SetDCBrushColor(HDC Dc, TColor Color) {
  if (!Dc) return CLR_INVALID;
  return std::exchange(Dc->State.BrushColor, Color);
}
TColor GetDCBrushColor(HDC Dc) {
  return Dc ? Dc->State.BrushColor : CLR_INVALID;
}

int SetStretchBltMode(HDC Dc, int Mode) {
  if (!Dc || Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
  return std::exchange(Dc->State.StretchMode, Mode);
}
int GetStretchBltMode(HDC Dc) {
  return Dc ? Dc->State.StretchMode : 0;
}
int SetMapMode(HDC Dc, int Mode) {
  if (!Dc || Mode < MM_TEXT || Mode > MM_ANISOTROPIC) return 0;
  return std::exchange(Dc->State.MapMode, Mode);
}
int GetMapMode(HDC Dc) {
  return Dc ? Dc->State.MapMode : 0;
}

bool SetViewportOrgEx(HDC Dc, int X, int Y, TPoint* Old) {
  if (!Dc) return false;
  if (Old) *Old = Dc->State.ViewportOrg;
  Dc->State.ViewportOrg = TPoint{X, Y};
  return true;
}
bool GetViewportOrgEx(HDC Dc, TPoint& Org) {
  if (!Dc) return false;
  Org = Dc->State.ViewportOrg;
  return true;
}
bool SetWindowOrgEx(HDC Dc, int X, int Y, TPoint* Old) {
  if (!Dc) return false;
  if (Old) *Old = Dc->State.WindowOrg;
  Dc->State.WindowOrg = TPoint{X, Y};
  return true;
}
bool GetWindowOrgEx(HDC Dc, TPoint& Org) {
  if (!Dc) return false;
  Org = Dc->State.WindowOrg;
  return true;
}

int IntersectClipRect(HDC Dc, int Left, int Top, int Right, int Bottom) {
  if (!Dc) return RGN_ERROR;
  TPoint A = ToDevice(Dc, Left, Top), B = ToDevice(Dc, Right, Bottom);
  TGdiRegion R;
  TRect Box{A.X, A.Y, B.X, B.Y};
  if (!Box.IsEmpty()) R.Rects.push_back(Box);
  if (Dc->State.Clip) {
    TGdiRegion Old = *Dc->State.Clip;
    CombineRgn(&R, &Old, &R, RGN_AND);
  }
  Dc->State.Clip = R;
  return R.Rects.empty() ? NULLREGION : (R.Rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION);
}

int SelectClipRgn(HDC Dc, HRGN Region) {
  if (!Dc) return RGN_ERROR;
  if (!Region) {
    Dc->State.Clip.reset();
    return SIMPLEREGION;
  }
  Dc->State.Clip = *Region;
  return Region->Rects.empty() ? NULLREGION
                               : (Region->Rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION);
}

int GetClipBox(HDC Dc, TRect& Box) {
  Box = TRect{};
  if (!Dc || !Dc->Bitmap) return RGN_ERROR;
  TRect Dev{0, 0, Dc->Bitmap->Dib.Width, Dc->Bitmap->Dib.Height};
  int Kind = SIMPLEREGION;
  if (Dc->State.Clip) {
    TGdiRegion Clip = *Dc->State.Clip;
    Kind = GetRgnBox(&Clip, Dev);
    if (Kind == NULLREGION) return NULLREGION;
  }
  TPoint Shift = ToDevice(Dc, 0, 0);
  Box = TRect{Dev.Left - Shift.X, Dev.Top - Shift.Y, Dev.Right - Shift.X, Dev.Bottom - Shift.Y};
  return Kind;
}

int SaveDC(HDC Dc) {
  if (!Dc) return 0;
  Dc->Saved.push_back(Dc->State);
  return static_cast<int>(Dc->Saved.size());
}

bool RestoreDC(HDC Dc, int SavedDC) {
  if (!Dc || SavedDC == 0) return false;
  int Level = SavedDC > 0 ? SavedDC : static_cast<int>(Dc->Saved.size()) + 1 + SavedDC;
  if (Level < 1 || Level > static_cast<int>(Dc->Saved.size())) return false;
  Dc->State = Dc->Saved[static_cast<size_t>(Level - 1)];
  Dc->Saved.resize(static_cast<size_t>(Level - 1));
  return true;
}

HPALETTE SelectPalette(HDC Dc, HPALETTE Palette, bool ForceBackground) {
  if (!Dc || !Palette) return nullptr;
  HPALETTE Old = Dc->State.Palette;
  Dc->State.Palette = Palette;
  Dc->State.PaletteBackground = ForceBackground;
  return Old;
}

int RealizePalette(HDC Dc) {
  if (!Dc || !Dc->State.Palette) return 0;
  return static_cast<int>(Dc->State.Palette->Entries.size());
}

TColor GetNearestColor(HDC Dc, TColor Color) {
  if (!Dc) return CLR_INVALID;
  TColor C = Resolve(Dc, ColorToRGB(Color));
  if (IsMono(Dc->Bitmap) && !Dc->Bitmap->IsDIB) return NearerWhite(C) ? clWhite : clBlack;
  return C;
}

bool BitBlt(HDC Dest, int X, int Y, int Width, int Height, HDC Src, int SrcX, int SrcY,
            uint32_t Rop) {
  return Transfer(Dest, X, Y, Width, Height, Src, SrcX, SrcY, Width, Height, Rop);
}

bool StretchBlt(HDC Dest, int X, int Y, int Width, int Height, HDC Src, int SrcX, int SrcY,
                int SrcWidth, int SrcHeight, uint32_t Rop) {
  return Transfer(Dest, X, Y, Width, Height, Src, SrcX, SrcY, SrcWidth, SrcHeight, Rop);
}

bool PatBlt(HDC Dc, int X, int Y, int Width, int Height, uint32_t Rop) {
  return Transfer(Dc, X, Y, Width, Height, nullptr, 0, 0, Width, Height, Rop);
}

bool FillRect(HDC Dc, const TRect& Rect, TColor Color) {
  if (!Dc || !Dc->Bitmap) return false;
  TColor Old = Dc->State.BrushColor;
  Dc->State.BrushColor = Color;
  bool Ok =
      Transfer(Dc, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), nullptr, 0, 0, 0, 0, PATCOPY);
  Dc->State.BrushColor = Old;
  return Ok;
}

TColor GetPixel(HDC Dc, int X, int Y) {
  if (!Dc || !Dc->Bitmap) return CLR_INVALID;
  TPoint P = ToDevice(Dc, X, Y);
  const TDib& D = Dc->Bitmap->Dib;
  if (P.X < 0 || P.Y < 0 || P.X >= D.Width || P.Y >= D.Height || !ClipAllows(Dc, P.X, P.Y))
    return CLR_INVALID;
  return ShownColor(*Dc->Bitmap, P.X, P.Y);
}

TColor SetPixel(HDC Dc, int X, int Y, TColor Color) {
  if (!Dc || !Dc->Bitmap) return CLR_INVALID;
  TPoint P = ToDevice(Dc, X, Y);
  TDib& D = Dc->Bitmap->Dib;
  if (P.X < 0 || P.Y < 0 || P.X >= D.Width || P.Y >= D.Height || !ClipAllows(Dc, P.X, P.Y))
    return CLR_INVALID;
  D.SetRaw(P.X, P.Y, SolidValue(*Dc->Bitmap, Resolve(Dc, Color)));
  return ShownColor(*Dc->Bitmap, P.X, P.Y);
}

}  // namespace orn

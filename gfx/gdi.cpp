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
  return TDib(Width, Height, BitCount, StoragePool().Take(Bytes));
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

// One block transfer in which every destination pixel takes at most one source pixel (no
// stretch mode combines dropped scans). Works a row at a time: the source column of each
// destination column is computed once, each source row is turned into destination values once
// (and reused while the stretch repeats it), and the raster operation runs over the row.
// Values are kept in the destination's own form: stored words (blue low) for 32 bits, bits for
// monochrome, the generic pixel values for the other depths.
struct TRowJob {
  HDC Dest;
  TDib* DD;
  TRect Area;  // device coordinates, within int range
  TPoint D0;
  int W, H;
  bool FlipX, FlipY;
  bool UsesSource;
  TPoint S0;
  int SW, SH;
  const TDib* SD;
  TConverter* Conv;
  uint8_t Code;
  uint32_t Pattern;
  uint32_t Mask;
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
void DecodeRow(const TRowJob& J, int SY, const int* Cols, int N, bool Contiguous, uint32_t* Out,
               const std::vector<uint32_t>& Lut) {
  const uint8_t* Row = J.SD->ScanLine(SY);
  const int DestBits = J.DD->BitCount;
  switch (J.SD->BitCount) {
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
  if (J.SD->BitCount == 32 && DestBits != 24 && DestBits > 8) {
    for (int I = 0; I < N; ++I) Out[I] = LoadWord(Row + Cols[I] * 4) & 0xFFFFFFu;
    return;
  }
  if (J.SD->BitCount == 32 && DestBits == 1) {
    const uint32_t Bk = SwapRB(J.Conv->SrcBk());
    for (int I = 0; I < N; ++I) Out[I] = (LoadWord(Row + Cols[I] * 4) & 0xFFFFFFu) == Bk ? 1 : 0;
    return;
  }
  const int Bytes = J.SD->BitCount / 8;
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

void RowTransfer(const TRowJob& J) {
  TDib& DD = *J.DD;
  TRect Bounds{0, 0, DD.Width, DD.Height};
  TRect Span;
  if (!IntersectRect(Span, J.Area, Bounds)) return;

  // Source column of every destination column of Span; only the columns whose source lies
  // inside the source bitmap are drawn, and they form one run.
  std::vector<int> Cols;
  int VLo = Span.Left, VHi = Span.Right;
  if (J.UsesSource) {
    Cols.assign(static_cast<size_t>(Span.Width()), 0);
    VLo = Span.Right;
    VHi = Span.Left;
    for (int PX = Span.Left; PX < Span.Right; ++PX) {
      int64_t I = int64_t{PX} - J.D0.X;
      if (J.FlipX) I = J.W - 1 - I;
      int64_t SX = J.S0.X + I * J.SW / J.W;
      if (SX < 0 || SX >= J.SD->Width) continue;
      Cols[static_cast<size_t>(PX - Span.Left)] = static_cast<int>(SX);
      VLo = std::min(VLo, PX);
      VHi = std::max(VHi, PX + 1);
    }
    if (VLo >= VHi) return;
  }
  // Same size and not mirrored: consecutive columns read consecutive source pixels.
  const bool Contiguous = J.UsesSource && J.SW == J.W && !J.FlipX;

  std::vector<uint32_t> Lut;
  if (J.UsesSource && J.SD->BitCount <= 8) {
    Lut = J.Conv->Indexed();
    if (DD.BitCount == 32)
      for (uint32_t& V : Lut) V = SwapRB(V);
  }
  const uint32_t Pattern = DD.BitCount == 32 ? SwapRB(J.Pattern) : J.Pattern;
  std::vector<uint32_t> Vals(static_cast<size_t>(VHi - VLo), 0);
  int64_t CachedRow = -1, LastSY = -1;
  int CachedLo = 0, CachedHi = 0;

  for (const TRect& R : DrawableRects(J.Dest, J.Area)) {
    const int X0 = std::max(R.Left, VLo), X1 = std::min(R.Right, VHi);
    if (X0 >= X1) continue;
    const int N = X1 - X0;
    uint32_t* S = Vals.data() + (X0 - VLo);
    // Same-size rows read straight from the source row: 32 to 32 bits, colour to monochrome,
    // and monochrome to monochrome bit for bit with source and destination bytes lined up.
    int DirectRow = -1;
    if (Contiguous && J.SD->BitCount == 32 && DD.BitCount == 32) DirectRow = 32;
    if (Contiguous && J.SD->BitCount == 1 && DD.BitCount == 1 && Lut[0] == 0 && Lut[1] == 1 &&
        ((Cols[static_cast<size_t>(X0 - Span.Left)] - X0) & 7) == 0)
      DirectRow = 1;
    if (Contiguous && J.SD->BitCount == 32 && DD.BitCount == 1) DirectRow = 2;
    for (int PY = R.Top; PY < R.Bottom; ++PY) {
      if (J.UsesSource) {
        int64_t Jy = int64_t{PY} - J.D0.Y;
        if (J.FlipY) Jy = J.H - 1 - Jy;
        int64_t SY = J.S0.Y + Jy * J.SH / J.H;
        if (SY < 0 || SY >= J.SD->Height) continue;
        LastSY = SY;
        if (DirectRow >= 0) {
          // read in place below
        } else if (SY != CachedRow || X0 < CachedLo || X1 > CachedHi) {
          DecodeRow(J, static_cast<int>(SY), Cols.data() + (X0 - Span.Left), N, Contiguous, S, Lut);
          CachedRow = SY;
          CachedLo = X0;
          CachedHi = X1;
        }
      }
      uint8_t* Row = DD.ScanLine(PY);
      if (DirectRow >= 0) {
        // Same-size copies read the source row in place.
        const uint8_t* SRow = J.SD->ScanLine(static_cast<int>(LastSY));
        const int C0 = Cols[static_cast<size_t>(X0 - Span.Left)];
        if (DirectRow == 32) {
          const uint8_t* SP = SRow + C0 * 4;
          ApplyRow32(
              J.Code, Pattern, Row + X0 * 4,
              [SP](int I) { return LoadWord(SP + I * 4) & 0xFFFFFFu; }, N);
        } else if (DirectRow == 2) {
          // Colour to monochrome: 1 where the source shows its background colour.
          const int Shift = C0 - X0;
          const uint32_t Bk = SwapRB(J.Conv->SrcBk());
          auto Is = [SRow, Shift, Bk](int X) {
            return (LoadWord(SRow + (X + Shift) * 4) & 0xFFFFFFu) == Bk ? 1u : 0u;
          };
          ApplyRow1(J.Code, Pattern, Row, X0, X1, Is, [Is](int X) {
            uint32_t B = 0;
            for (int K = 0; K < 8; ++K) B = (B << 1) | Is(X + K);
            return B;
          });
        } else {
          const int Shift = C0 - X0;  // a multiple of 8
          ApplyRow1(
              J.Code, Pattern, Row, X0, X1,
              [SRow, Shift](int X) {
                return static_cast<uint32_t>((SRow[(X + Shift) >> 3] >> (7 - ((X + Shift) & 7))) &
                                             1);
              },
              [SRow, Shift](int X) { return static_cast<uint32_t>(SRow[(X + Shift) >> 3]); });
        }
      } else if (DD.BitCount == 32) {
        ApplyRow32(
            J.Code, Pattern, Row + X0 * 4, [S](int I) { return S[I]; }, N);
      } else if (DD.BitCount == 1) {
        ApplyRow1(
            J.Code, Pattern, Row, X0, X1, [S, X0](int X) { return S[X - X0]; },
            [S, X0](int X) {
              const uint32_t* V = S + (X - X0);
              return (V[0] << 7) | (V[1] << 6) | (V[2] << 5) | (V[3] << 4) | (V[4] << 3) |
                     (V[5] << 2) | (V[6] << 1) | V[7];
            });
      } else {
        for (int PX = X0; PX < X1; ++PX)
          DD.SetRaw(PX, PY, ApplyRop(J.Code, Pattern, S[PX - X0], DD.Raw(PX, PY), J.Mask));
      }
    }
  }
}

// A shrinking transfer whose stretch mode combines the dropped pixels (AND for BLACKONWHITE,
// OR for WHITEONBLACK): each destination pixel takes the block of source pixels between its
// own source position and the next one's, within the source bitmap. Every source row of a block
// is converted once, then folded column block by column block.
void CombineTransfer(const TRowJob& J, bool Or) {
  TDib& DD = *J.DD;
  TRect Bounds{0, 0, DD.Width, DD.Height};
  TRect Span;
  if (!IntersectRect(Span, J.Area, Bounds)) return;
  const int SrcW = J.SD->Width, SrcH = J.SD->Height;

  // The source block of a destination column or row along one axis, clipped to the bitmap;
  // empty (Lo >= Hi) when nothing of it lies inside.
  auto Block = [](int64_t I, int64_t Size, int64_t SrcSize, int64_t Origin, int64_t Limit,
                  bool Flip, int64_t& Lo, int64_t& Hi) {
    if (Flip) I = Size - 1 - I;
    int64_t A = I * SrcSize / Size;
    int64_t B = std::max(A + 1, (I + 1) * SrcSize / Size);
    Lo = std::max<int64_t>(Origin + A, 0);
    Hi = std::min<int64_t>(Origin + B, Limit);
  };

  std::vector<int> ColLo(static_cast<size_t>(Span.Width())), ColHi(ColLo.size());
  int64_t MinSX = SrcW, MaxSX = 0;
  for (int PX = Span.Left; PX < Span.Right; ++PX) {
    int64_t Lo, Hi;
    Block(int64_t{PX} - J.D0.X, J.W, J.SW, J.S0.X, SrcW, J.FlipX, Lo, Hi);
    if (Lo >= Hi) Lo = Hi = 0;
    ColLo[static_cast<size_t>(PX - Span.Left)] = static_cast<int>(Lo);
    ColHi[static_cast<size_t>(PX - Span.Left)] = static_cast<int>(Hi);
    if (Lo < Hi) {
      MinSX = std::min(MinSX, Lo);
      MaxSX = std::max(MaxSX, Hi);
    }
  }
  if (MinSX >= MaxSX) return;

  std::vector<uint32_t> Lut;
  if (J.SD->BitCount <= 8) {
    Lut = J.Conv->Indexed();
    if (DD.BitCount == 32)
      for (uint32_t& V : Lut) V = SwapRB(V);
  }
  const uint32_t Pattern = DD.BitCount == 32 ? SwapRB(J.Pattern) : J.Pattern;
  // Source columns MinSX .. MaxSX-1 of one source row, converted.
  std::vector<int> SrcCols(static_cast<size_t>(MaxSX - MinSX));
  for (size_t I = 0; I < SrcCols.size(); ++I) SrcCols[I] = static_cast<int>(MinSX + int64_t(I));
  std::vector<uint32_t> SrcVals(SrcCols.size());
  std::vector<uint32_t> Acc(static_cast<size_t>(Span.Width()));

  // Columns whose block lies (partly) inside the source form one run. Blocks are counted from
  // the first converted source column from here on.
  int VLo = Span.Right, VHi = Span.Left;
  for (int PX = Span.Left; PX < Span.Right; ++PX) {
    const size_t C = static_cast<size_t>(PX - Span.Left);
    if (ColLo[C] >= ColHi[C]) continue;
    ColLo[C] -= static_cast<int>(MinSX);
    ColHi[C] -= static_cast<int>(MinSX);
    VLo = std::min(VLo, PX);
    VHi = std::max(VHi, PX + 1);
  }

  for (const TRect& R : DrawableRects(J.Dest, J.Area)) {
    const int X0 = std::max(R.Left, VLo), X1 = std::min(R.Right, VHi);
    if (X0 >= X1) continue;
    const size_t C0 = static_cast<size_t>(X0 - Span.Left);
    const int N = X1 - X0;
    const int* Lo = ColLo.data() + C0;
    const int* Hi = ColHi.data() + C0;
    uint32_t* A = Acc.data() + C0;
    for (int PY = R.Top; PY < R.Bottom; ++PY) {
      int64_t RowLo, RowHi;
      Block(int64_t{PY} - J.D0.Y, J.H, J.SH, J.S0.Y, SrcH, J.FlipY, RowLo, RowHi);
      if (RowLo >= RowHi) continue;
      for (int64_t SY = RowLo; SY < RowHi; ++SY) {
        DecodeRow(J, static_cast<int>(SY), SrcCols.data(), static_cast<int>(SrcCols.size()), true,
                  SrcVals.data(), Lut);
        const uint32_t* V = SrcVals.data();
        if (SY == RowLo)
          for (int I = 0; I < N; ++I) A[I] = V[Lo[I]];
        if (Or) {
          for (int I = 0; I < N; ++I)
            for (int K = Lo[I]; K < Hi[I]; ++K) A[I] |= V[K];
        } else {
          for (int I = 0; I < N; ++I)
            for (int K = Lo[I]; K < Hi[I]; ++K) A[I] &= V[K];
        }
      }
      uint8_t* Row = DD.ScanLine(PY);
      if (DD.BitCount == 32) {
        ApplyRow32(
            J.Code, Pattern, Row + X0 * 4, [A](int I) { return A[I]; }, N);
      } else if (DD.BitCount == 1) {
        ApplyRow1(
            J.Code, Pattern, Row, X0, X1, [A, X0](int X) { return A[X - X0]; },
            [A, X0](int X) {
              const uint32_t* B = A + (X - X0);
              return (B[0] << 7) | (B[1] << 6) | (B[2] << 5) | (B[3] << 4) | (B[4] << 3) |
                     (B[5] << 2) | (B[6] << 1) | B[7];
            });
      } else {
        for (int PX = X0; PX < X1; ++PX)
          DD.SetRaw(PX, PY, ApplyRop(J.Code, Pattern, A[PX - X0], DD.Raw(PX, PY), J.Mask));
      }
    }
  }
}

bool Transfer(HDC Dest, int X, int Y, int W, int H, HDC Src, int SX, int SY, int SW, int SH,
              uint32_t Rop) {
  if (!Dest || !Dest->Bitmap) return false;
  uint8_t Code = static_cast<uint8_t>(Rop >> 16);
  bool UsesSource = ((Code >> 2) & 0x33) != (Code & 0x33);
  if (UsesSource && (!Src || !Src->Bitmap)) return false;
  if (W == 0 || H == 0 || (UsesSource && (SW == 0 || SH == 0))) return true;

  TPoint D0 = ToDevice(Dest, X, Y);
  bool FlipX = false, FlipY = false;
  if (W < 0) {
    if (W == INT32_MIN) return false;
    D0.X = static_cast<int>(std::clamp<int64_t>(int64_t{D0.X} + W, INT32_MIN, INT32_MAX));
    W = -W;
    FlipX = !FlipX;
  }
  if (H < 0) {
    if (H == INT32_MIN) return false;
    D0.Y = static_cast<int>(std::clamp<int64_t>(int64_t{D0.Y} + H, INT32_MIN, INT32_MAX));
    H = -H;
    FlipY = !FlipY;
  }
  TPoint S0;
  if (UsesSource) {
    S0 = ToDevice(Src, SX, SY);
    if (SW == INT32_MIN || SH == INT32_MIN) return false;
    if (SW < 0) {
      S0.X = static_cast<int>(std::clamp<int64_t>(int64_t{S0.X} + SW, INT32_MIN, INT32_MAX));
      SW = -SW;
      FlipX = !FlipX;
    }
    if (SH < 0) {
      S0.Y = static_cast<int>(std::clamp<int64_t>(int64_t{S0.Y} + SH, INT32_MIN, INT32_MAX));
      SH = -SH;
      FlipY = !FlipY;
    }
  }

  TDib& DD = Dest->Bitmap->Dib;
  uint32_t Mask = ValueMask(DD);
  uint32_t Pattern = SolidValue(*Dest->Bitmap, Resolve(Dest, Dest->State.BrushColor));
  int Mode = Dest->State.StretchMode;
  bool Combine = UsesSource && (SW > W || SH > H) && (Mode == BLACKONWHITE || Mode == WHITEONBLACK);
  // A copy within one bitmap reads from a snapshot, so overlapping areas come out right.
  std::optional<TGdiBitmap> Snapshot;
  if (UsesSource && Src->Bitmap == Dest->Bitmap) Snapshot = *Src->Bitmap;
  const TGdiBitmap* SB = Snapshot ? &*Snapshot : (UsesSource ? Src->Bitmap : nullptr);
  std::optional<TConverter> Conv;
  if (UsesSource) Conv.emplace(Dest, Src, *SB);
  const TDib* SD = UsesSource ? &SB->Dib : nullptr;

  auto SourceValue = [&](int64_t I, int64_t J, uint32_t& Out) -> bool {
    if (FlipX) I = W - 1 - I;
    if (FlipY) J = H - 1 - J;
    int64_t SX0 = I * SW / W, SY0 = J * SH / H;
    int64_t SX1 = SX0 + 1, SY1 = SY0 + 1;
    if (Combine) {
      SX1 = std::max(SX1, (I + 1) * SW / W);
      SY1 = std::max(SY1, (J + 1) * SH / H);
    }
    bool Any = false;
    uint32_t V = 0;
    // Only source pixels inside the source bitmap take part.
    SY0 = std::max<int64_t>(SY0, -int64_t{S0.Y});
    SY1 = std::min<int64_t>(SY1, int64_t{SD->Height} - S0.Y);
    SX0 = std::max<int64_t>(SX0, -int64_t{S0.X});
    SX1 = std::min<int64_t>(SX1, int64_t{SD->Width} - S0.X);
    for (int64_t Sy = SY0; Sy < SY1; ++Sy) {
      for (int64_t Sx = SX0; Sx < SX1; ++Sx) {
        uint32_t C = (*Conv)(static_cast<int>(S0.X + Sx), static_cast<int>(S0.Y + Sy));
        if (!Any)
          V = C;
        else if (Mode == WHITEONBLACK)
          V |= C;
        else
          V &= C;
        Any = true;
      }
    }
    Out = V;
    return Any;
  };

  // The target area, kept within int range whatever extents the caller passed.
  auto Clamp = [](int64_t V) {
    return static_cast<int>(std::clamp<int64_t>(V, -(int64_t{1} << 30), int64_t{1} << 30));
  };
  TRect Area{Clamp(D0.X), Clamp(D0.Y), Clamp(int64_t{D0.X} + W), Clamp(int64_t{D0.Y} + H)};
  // Plain copies between 32-bit bitmaps at the same size move whole row spans.
  if (GFastPaths && UsesSource && Code == 0xCC && !FlipX && !FlipY && SW == W && SH == H &&
      SD->BitCount == 32 && DD.BitCount == 32) {
    for (const TRect& R : DrawableRects(Dest, Area)) {
      for (int PY = R.Top; PY < R.Bottom; ++PY) {
        int64_t SY = int64_t{S0.Y} + (int64_t{PY} - D0.Y);
        if (SY < 0 || SY >= SD->Height) continue;
        int64_t First = std::max<int64_t>(R.Left, int64_t{D0.X} - S0.X);
        int64_t Last = std::min<int64_t>(R.Right, int64_t{D0.X} - S0.X + SD->Width);
        if (First >= Last) continue;
        int64_t SX = int64_t{S0.X} + (First - D0.X);
        std::memmove(DD.ScanLine(PY) + First * 4, SD->ScanLine(static_cast<int>(SY)) + SX * 4,
                     static_cast<size_t>(Last - First) * 4);
      }
    }
    return true;
  }
  if (GFastPaths) {
    TRowJob Job{Dest,  &DD,        Area, D0, W,  H,  FlipX,
                FlipY, UsesSource, S0,   SW, SH, SD, Conv ? &*Conv : nullptr,
                Code,  Pattern,    Mask};
    if (Combine)
      CombineTransfer(Job, Mode == WHITEONBLACK);
    else
      RowTransfer(Job);
    return true;
  }
  for (const TRect& R : DrawableRects(Dest, Area)) {
    for (int PY = R.Top; PY < R.Bottom; ++PY) {
      for (int PX = R.Left; PX < R.Right; ++PX) {
        uint32_t S = 0;
        if (UsesSource && !SourceValue(int64_t{PX} - D0.X, int64_t{PY} - D0.Y, S)) continue;
        uint32_t Old = DD.Raw(PX, PY);
        DD.SetRaw(PX, PY, ApplyRop(Code, Pattern, S, Old, Mask));
      }
    }
  }
  return true;
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
  StoragePool().Give(std::move(Bitmap->Dib.Bits));
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
  // Indexed pixels show the colours of a table with one entry per value.
  uint32_t Table[256] = {};
  if (D.BitCount <= 8) {
    for (uint32_t I = 0; I < (1u << D.BitCount); ++I) {
      TColor C;
      if (D.BitCount == 1 && !Bitmap->IsDIB)
        C = I ? clWhite : clBlack;
      else
        C = I < D.Colors.size() ? RGB(D.Colors[I].rgbRed, D.Colors[I].rgbGreen, D.Colors[I].rgbBlue)
                                : clBlack;
      Table[I] = SwapRB(C);
    }
  }
  const int Bytes = Want / 8;
  for (int Row = First; Row < Last; ++Row) {
    uint8_t* Line = Out + static_cast<size_t>(Row - First) * Stride;
    std::memset(Line, 0, Stride);
    const uint8_t* In = D.Bits.data() + static_cast<size_t>(Row) * D.Stride();
    for (int X = 0; X < D.Width; ++X) {
      uint32_t V;  // blue in the low byte
      switch (D.BitCount) {
        case 1:
          V = Table[(In[X >> 3] >> (7 - (X & 7))) & 1];
          break;
        case 4:
          V = Table[(In[X >> 1] >> ((X & 1) ? 0 : 4)) & 0x0F];
          break;
        case 8:
          V = Table[In[X]];
          break;
        default: {
          const uint8_t* P = In + X * (D.BitCount / 8);
          V = uint32_t{P[0]} | (uint32_t{P[1]} << 8) | (uint32_t{P[2]} << 16);
          break;
        }
      }
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

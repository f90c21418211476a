#include "tools/artgen_output.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <stdexcept>

#include "core/stream.h"
#include "gfx/gdi.h"
#include "gif/lzw_encoder.h"

namespace orn::artgen {

namespace {

constexpr uint8_t KeyIndex = 255;
// The transparent colour: a colour no painted pixel is given (the palette keeps it unique).
constexpr TGIFTriple KeyTriple{255, 0, 255};

// Marks the 4-connected piece of Cells whose value is Value and that contains (X, Y); returns
// its size. Label holds 0 for unvisited cells.
int FloodLabel(const std::vector<uint8_t>& Cells, int W, int H, int X, int Y, uint8_t Value,
               int LabelValue, std::vector<int>& Label) {
  std::deque<std::pair<int, int>> Queue{{X, Y}};
  Label[static_cast<size_t>(Y) * W + X] = LabelValue;
  int Size = 0;
  while (!Queue.empty()) {
    auto [Cx, Cy] = Queue.front();
    Queue.pop_front();
    ++Size;
    const int Dx[4] = {1, -1, 0, 0};
    const int Dy[4] = {0, 0, 1, -1};
    for (int K = 0; K < 4; ++K) {
      const int Nx = Cx + Dx[K];
      const int Ny = Cy + Dy[K];
      if (Nx < 0 || Ny < 0 || Nx >= W || Ny >= H) continue;
      const size_t I = static_cast<size_t>(Ny) * W + Nx;
      if (Label[I] != 0 || Cells[I] != Value) continue;
      Label[I] = LabelValue;
      Queue.emplace_back(Nx, Ny);
    }
  }
  return Size;
}

struct TWeighted {
  float C[3];
  float W;
};

float Dist2(const float* A, const float* B) {
  const float D0 = A[0] - B[0];
  const float D1 = A[1] - B[1];
  const float D2 = A[2] - B[2];
  return D0 * D0 + D1 * D1 + D2 * D2;
}

// Median cut over weighted colours, then a few rounds of k-means; returns at most Count
// colours.
std::vector<std::array<float, 3>> ChooseColors(std::vector<TWeighted> Colors, int Count) {
  std::vector<std::array<float, 3>> Result;
  if (Colors.empty()) return Result;
  if (static_cast<int>(Colors.size()) <= Count) {
    for (const TWeighted& C : Colors) Result.push_back({C.C[0], C.C[1], C.C[2]});
    return Result;
  }
  struct TBox {
    size_t Begin, End;
    double Error;
    int Axis;
  };
  auto Measure = [&Colors](size_t Begin, size_t End) {
    double Sum[3] = {}, Sum2[3] = {}, W = 0;
    for (size_t I = Begin; I < End; ++I) {
      for (int A = 0; A < 3; ++A) {
        Sum[A] += Colors[I].W * Colors[I].C[A];
        Sum2[A] += Colors[I].W * Colors[I].C[A] * Colors[I].C[A];
      }
      W += Colors[I].W;
    }
    TBox B{Begin, End, 0, 0};
    double Best = -1;
    for (int A = 0; A < 3; ++A) {
      const double Var = W > 0 ? Sum2[A] - Sum[A] * Sum[A] / W : 0;
      B.Error += Var;
      if (Var > Best) {
        Best = Var;
        B.Axis = A;
      }
    }
    if (End - Begin < 2) B.Error = -1;
    return B;
  };
  std::vector<TBox> Boxes{Measure(0, Colors.size())};
  while (static_cast<int>(Boxes.size()) < Count) {
    size_t Pick = 0;
    for (size_t I = 1; I < Boxes.size(); ++I)
      if (Boxes[I].Error > Boxes[Pick].Error) Pick = I;
    TBox B = Boxes[Pick];
    if (B.Error <= 0) break;
    const int Axis = B.Axis;
    std::sort(Colors.begin() + static_cast<std::ptrdiff_t>(B.Begin),
              Colors.begin() + static_cast<std::ptrdiff_t>(B.End),
              [Axis](const TWeighted& L, const TWeighted& R) {
                if (L.C[Axis] != R.C[Axis]) return L.C[Axis] < R.C[Axis];
                if (L.C[0] != R.C[0]) return L.C[0] < R.C[0];
                if (L.C[1] != R.C[1]) return L.C[1] < R.C[1];
                return L.C[2] < R.C[2];
              });
    double Total = 0;
    for (size_t I = B.Begin; I < B.End; ++I) Total += Colors[I].W;
    double Acc = 0;
    size_t Split = B.Begin + 1;
    for (size_t I = B.Begin; I < B.End - 1; ++I) {
      Acc += Colors[I].W;
      Split = I + 1;
      if (Acc >= Total / 2) break;
    }
    Boxes[Pick] = Measure(B.Begin, Split);
    Boxes.push_back(Measure(Split, B.End));
  }
  for (const TBox& B : Boxes) {
    double Sum[3] = {}, W = 0;
    for (size_t I = B.Begin; I < B.End; ++I) {
      for (int A = 0; A < 3; ++A) Sum[A] += Colors[I].W * Colors[I].C[A];
      W += Colors[I].W;
    }
    Result.push_back({static_cast<float>(Sum[0] / W), static_cast<float>(Sum[1] / W),
                      static_cast<float>(Sum[2] / W)});
  }
  // k-means refinement: each colour goes to its nearest centre, each centre moves to the
  // weighted mean of its colours.
  for (int Round = 0; Round < 5; ++Round) {
    std::vector<std::array<double, 4>> Acc(Result.size(), {0, 0, 0, 0});
    for (const TWeighted& C : Colors) {
      size_t Best = 0;
      float BestD = Dist2(C.C, Result[0].data());
      for (size_t K = 1; K < Result.size(); ++K) {
        const float D = Dist2(C.C, Result[K].data());
        if (D < BestD) {
          BestD = D;
          Best = K;
        }
      }
      for (int A = 0; A < 3; ++A) Acc[Best][A] += C.W * C.C[A];
      Acc[Best][3] += C.W;
    }
    for (size_t K = 0; K < Result.size(); ++K)
      if (Acc[K][3] > 0)
        for (int A = 0; A < 3; ++A) Result[K][A] = static_cast<float>(Acc[K][A] / Acc[K][3]);
  }
  return Result;
}

uint8_t ToByte(float V) {
  return static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(V)), 0, 255));
}

bool SameTriple(const TGIFTriple& A, const TGIFTriple& B) {
  return A.Red == B.Red && A.Green == B.Green && A.Blue == B.Blue;
}

// Entries the ornament's own pixels may take: all but the reserved ones.
bool IsFreeEntry(int I, const TAnimationLayout& Layout) {
  return !(Layout.Transparent && I == KeyIndex) && !(Layout.PaintsAll && I == 0);
}

int NearestEntry(const TGIFPaletteRec& Palette, const TAnimationLayout& Layout, TRgb C) {
  int Best = -1;
  float BestD = 0;
  const float V[3] = {C.R, C.G, C.B};
  for (int I = 0; I < 256; ++I) {
    if (!IsFreeEntry(I, Layout)) continue;
    const TGIFTriple& T = Palette.Entries[I];
    const float P[3] = {static_cast<float>(T.Red), static_cast<float>(T.Green),
                        static_cast<float>(T.Blue)};
    const float D = Dist2(V, P);
    if (Best < 0 || D < BestD) {
      Best = I;
      BestD = D;
    }
  }
  return Best;
}

struct TRect4 {
  int Left, Top, Right, Bottom;  // exclusive right and bottom
};

std::vector<uint8_t> RowsForEncoder(const std::vector<uint8_t>& Pixels, int W, int H,
                                    bool Interlaced) {
  // The encoder takes the top stored row first; stored rows are bottom-up, so row order R
  // of the file goes to stored row H - 1 - R.
  const int Stride = TDib::StrideOf(W, 8);
  std::vector<uint8_t> Bits(static_cast<size_t>(Stride) * H, 0);
  std::vector<int> Order;
  if (Interlaced) {
    const int Starts[4] = {0, 4, 2, 1};
    const int Steps[4] = {8, 8, 4, 2};
    for (int P = 0; P < 4; ++P)
      for (int Y = Starts[P]; Y < H; Y += Steps[P]) Order.push_back(Y);
  } else {
    for (int Y = 0; Y < H; ++Y) Order.push_back(Y);
  }
  for (int R = 0; R < H; ++R)
    std::copy_n(Pixels.begin() + static_cast<std::ptrdiff_t>(Order[static_cast<size_t>(R)]) * W, W,
                Bits.begin() + static_cast<std::ptrdiff_t>(H - 1 - R) * Stride);
  return Bits;
}

}  // namespace

TArtMask MaskFromCoverage(const TArtPicture& Picture) {
  const int W = Picture.Width;
  const int H = Picture.Height;
  TArtMask M{W, H, std::vector<uint8_t>(static_cast<size_t>(W) * H, 0)};
  for (size_t I = 0; I < M.Keep.size(); ++I) M.Keep[I] = Picture.Alpha[I] >= 0.5f ? 1 : 0;
  // Keep the largest kept piece.
  std::vector<int> Label(M.Keep.size(), 0);
  int Next = 1, BestLabel = 0, BestSize = 0;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const size_t I = static_cast<size_t>(Y) * W + X;
      if (M.Keep[I] && Label[I] == 0) {
        const int Size = FloodLabel(M.Keep, W, H, X, Y, 1, Next, Label);
        if (Size > BestSize) {
          BestSize = Size;
          BestLabel = Next;
        }
        ++Next;
      }
    }
  for (size_t I = 0; I < M.Keep.size(); ++I) M.Keep[I] = Label[I] == BestLabel ? 1 : 0;
  // Pin-holes inside the outline are filled; larger gaps (between branches, under the
  // tree) stay cut away.
  std::vector<int> Hole(M.Keep.size(), 0);
  int HoleLabel = 1;
  std::vector<int> Sizes{0};
  std::vector<bool> Border{false};
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const size_t I = static_cast<size_t>(Y) * W + X;
      if (M.Keep[I] || Hole[I] != 0) continue;
      Sizes.push_back(FloodLabel(M.Keep, W, H, X, Y, 0, HoleLabel, Hole));
      Border.push_back(false);
      ++HoleLabel;
    }
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      if (X == 0 || Y == 0 || X == W - 1 || Y == H - 1)
        Border[static_cast<size_t>(Hole[static_cast<size_t>(Y) * W + X])] = true;
  for (size_t I = 0; I < M.Keep.size(); ++I) {
    const auto L = static_cast<size_t>(Hole[I]);
    if (!M.Keep[I] && !Border[L] && Sizes[L] < MinHoleSize) M.Keep[I] = 1;
  }
  return M;
}

void FillThinPixels(TArtPicture& P, const TArtMask& Mask) {
  const TArtPicture Src = P;
  for (int Y = 0; Y < P.Height; ++Y)
    for (int X = 0; X < P.Width; ++X) {
      if (!Mask.At(X, Y) || Src.AlphaAt(X, Y) >= 0.25f) continue;
      TRgb Sum;
      float W = 0;
      for (int Dy = -1; Dy <= 1; ++Dy)
        for (int Dx = -1; Dx <= 1; ++Dx) {
          const int Nx = X + Dx, Ny = Y + Dy;
          if (Nx < 0 || Ny < 0 || Nx >= P.Width || Ny >= P.Height) continue;
          const float A = Src.AlphaAt(Nx, Ny);
          const TRgb C = Src.At(Nx, Ny);
          Sum = TRgb{Sum.R + C.R * A, Sum.G + C.G * A, Sum.B + C.B * A};
          W += A;
        }
      if (W > 0) P.At(X, Y) = Scale(Sum, 1 / W);
    }
}

TGIFPaletteRec BuildPalette(const std::vector<TArtPicture>& Pictures, const TArtMask& Mask,
                            const TAnimationLayout& Layout) {
  std::map<uint32_t, uint32_t> Counts;
  for (const TArtPicture& P : Pictures)
    for (int Y = 0; Y < P.Height; ++Y)
      for (int X = 0; X < P.Width; ++X) {
        if (!Mask.At(X, Y)) continue;
        const TRgb C = P.At(X, Y);
        const uint32_t Key =
            (uint32_t{ToByte(C.R)} << 16) | (uint32_t{ToByte(C.G)} << 8) | uint32_t{ToByte(C.B)};
        ++Counts[Key];
      }
  std::vector<TWeighted> Colors;
  Colors.reserve(Counts.size());
  for (const auto& [Key, N] : Counts)
    Colors.push_back(TWeighted{{static_cast<float>(Key >> 16), static_cast<float>((Key >> 8) & 255),
                                static_cast<float>(Key & 255)},
                               std::sqrt(static_cast<float>(N))});

  TGIFPaletteRec Pal;
  Pal.EntryCount = 256;
  std::vector<int> Free;
  for (int I = 0; I < 256; ++I)
    if (IsFreeEntry(I, Layout)) Free.push_back(I);
  if (Layout.PaintsAll)
    Pal.Entries[0] = {ToByte(Layout.Background.R), ToByte(Layout.Background.G),
                      ToByte(Layout.Background.B)};
  if (Layout.Transparent) Pal.Entries[KeyIndex] = KeyTriple;

  const auto Chosen = ChooseColors(std::move(Colors), static_cast<int>(Free.size()));
  // Chosen colours sorted by brightness give a tidy table; unused entries repeat the last
  // colour and are then made distinct below.
  std::vector<TGIFTriple> Triples;
  for (const auto& C : Chosen) Triples.push_back({ToByte(C[0]), ToByte(C[1]), ToByte(C[2])});
  std::sort(Triples.begin(), Triples.end(), [](const TGIFTriple& A, const TGIFTriple& B) {
    const int La = A.Red * 3 + A.Green * 6 + A.Blue;
    const int Lb = B.Red * 3 + B.Green * 6 + B.Blue;
    if (La != Lb) return La < Lb;
    if (A.Red != B.Red) return A.Red < B.Red;
    if (A.Green != B.Green) return A.Green < B.Green;
    return A.Blue < B.Blue;
  });
  for (size_t K = 0; K < Free.size(); ++K)
    Pal.Entries[Free[K]] = K < Triples.size() ? Triples[K] : TGIFTriple{0, 0, 0};
  // Every entry distinct: a key or background colour must be found at its own index only.
  std::vector<int> Order;
  if (Layout.PaintsAll) Order.push_back(0);
  if (Layout.Transparent) Order.push_back(KeyIndex);
  for (int I : Free) Order.push_back(I);
  for (size_t K = 0; K < Order.size(); ++K) {
    TGIFTriple& T = Pal.Entries[Order[K]];
    for (int Step = 0;; ++Step) {
      bool Clash = false;
      for (size_t J = 0; J < K && !Clash; ++J) Clash = SameTriple(Pal.Entries[Order[J]], T);
      if (!Clash) break;
      // Nudge by one step in the least visible direction (blue), then green, then red.
      const int D = (Step / 3 + 1) * ((Step % 2) ? -1 : 1);
      uint8_t* Ch = Step % 3 == 0 ? &T.Blue : (Step % 3 == 1 ? &T.Green : &T.Red);
      *Ch = static_cast<uint8_t>(std::clamp(*Ch + D, 0, 255));
    }
  }
  return Pal;
}

std::vector<uint8_t> IndexPicture(const TArtPicture& Picture, const TArtMask& Mask,
                                  const TGIFPaletteRec& Palette, const TAnimationLayout& Layout) {
  std::vector<uint8_t> Out(static_cast<size_t>(Picture.Width) * Picture.Height);
  std::map<uint32_t, uint8_t> Cache;
  for (int Y = 0; Y < Picture.Height; ++Y)
    for (int X = 0; X < Picture.Width; ++X) {
      const size_t I = static_cast<size_t>(Y) * Picture.Width + X;
      if (!Mask.At(X, Y)) {
        Out[I] = Layout.PaintsAll ? 0 : KeyIndex;
        continue;
      }
      const TRgb C = Picture.At(X, Y);
      const uint32_t Key =
          (uint32_t{ToByte(C.R)} << 16) | (uint32_t{ToByte(C.G)} << 8) | uint32_t{ToByte(C.B)};
      auto It = Cache.find(Key);
      if (It == Cache.end()) {
        const TRgb Rounded{static_cast<float>(Key >> 16), static_cast<float>((Key >> 8) & 255),
                           static_cast<float>(Key & 255)};
        It = Cache.emplace(Key, static_cast<uint8_t>(NearestEntry(Palette, Layout, Rounded))).first;
      }
      Out[I] = It->second;
    }
  return Out;
}

std::vector<uint8_t> BuildGIF(int Width, int Height,
                              const std::vector<std::vector<uint8_t>>& States,
                              const TGIFPaletteRec& Palette, const TAnimationLayout& Layout) {
  const int FrameCount = static_cast<int>(States.size());
  if (static_cast<int>(Layout.Disposal.size()) != FrameCount ||
      static_cast<int>(Layout.FullCover.size()) != FrameCount || !Layout.FullCover[0])
    throw std::logic_error("artgen: animation layout does not match the frames");

  TGIFImage Image;
  Image.SetRevision(TGIFRevision::gr89a);
  Image.FGlobalData->FGlobalTable = Palette;
  Image.FGlobalData->FGlobalBits = 8;
  Image.FGlobalData->FPixelAspect = 0;
  const TGIFTriple& Back = Palette.Entries[Layout.BackgroundIndex];
  Image.SetBackColor(TripleToColor(Back));
  Image.SetLoopEnabled(true);
  Image.SetLoopCount(0);

  // What the viewer shows before each frame; empty after a frame that restores the
  // background, whose successor must then cover the whole picture.
  std::vector<uint8_t> Shown;
  for (int F = 0; F < FrameCount; ++F) {
    const std::vector<uint8_t>& State = States[static_cast<size_t>(F)];
    TRect4 R{0, 0, Width, Height};
    if (!Layout.FullCover[static_cast<size_t>(F)]) {
      if (Shown.empty())
        throw std::logic_error("artgen: a partial frame follows a restored background");
      R = {Width, Height, 0, 0};
      for (int Y = 0; Y < Height; ++Y)
        for (int X = 0; X < Width; ++X) {
          const size_t I = static_cast<size_t>(Y) * Width + X;
          if (State[I] == Shown[I]) continue;
          if (Layout.Transparent && State[I] == KeyIndex)
            throw std::logic_error("artgen: a partial frame cannot clear a pixel");
          R.Left = std::min(R.Left, X);
          R.Top = std::min(R.Top, Y);
          R.Right = std::max(R.Right, X + 1);
          R.Bottom = std::max(R.Bottom, Y + 1);
        }
      if (R.Left >= R.Right) R = {Width / 2, Height / 2, Width / 2 + 1, Height / 2 + 1};
      if (R.Left == 0 && R.Top == 0 && R.Right == Width && R.Bottom == Height)
        throw std::logic_error("artgen: frame " + std::to_string(F) +
                               " changes the whole picture but is meant to be partial");
    }
    const int FW = R.Right - R.Left;
    const int FH = R.Bottom - R.Top;
    std::vector<uint8_t> Pixels(static_cast<size_t>(FW) * FH);
    for (int Y = 0; Y < FH; ++Y)
      for (int X = 0; X < FW; ++X) {
        const size_t I = static_cast<size_t>(Y + R.Top) * Width + (X + R.Left);
        const bool Keep =
            Layout.FullCover[static_cast<size_t>(F)] || !Layout.Transparent || State[I] != Shown[I];
        Pixels[static_cast<size_t>(Y) * FW + X] = Keep ? State[I] : KeyIndex;
      }

    Image.FFrames.push_back(std::make_unique<TGIFFrame>(&Image));
    TGIFFrame& Frame = *Image.FFrames.back();
    TGIFItem& Item = *Frame.FItem;
    const std::vector<uint8_t> Bits = RowsForEncoder(Pixels, FW, FH, Layout.Interlaced);
    Item.FCodeStream = std::make_unique<TMemoryStream>();
    EncodeImageData(*Item.FCodeStream, TEncodeHeader{FW, FH, 8}, Bits.data(),
                    static_cast<int64_t>(Bits.size()), nullptr);
    Item.FExtent = {FW, FH};
    Item.FPixelBits = 8;
    Item.FFrameTable = Palette;
    Frame.FIsInterlaced = Layout.Interlaced;
    Frame.SetOrigin(TPoint{R.Left, R.Top});
    Frame.SetHasLocalTable(false);
    Frame.SetDelayMs(static_cast<uint16_t>(Layout.DelayMs));
    Frame.SetDisposeMode(Layout.Disposal[static_cast<size_t>(F)]);
    Frame.SetKeyColor(Layout.Transparent ? TripleToColor(Palette.Entries[KeyIndex]) : clNone);

    if (Layout.Disposal[static_cast<size_t>(F)] == TGIFDisposal::gdRestoreBackground)
      Shown.clear();
    else
      Shown = State;
  }
  Image.SetCurrentIndex(0);

  TMemoryStream Out;
  Image.SaveToStream(Out);
  return std::vector<uint8_t>(Out.Memory(), Out.Memory() + Out.Size());
}

std::vector<uint8_t> BuildMaskBMP(const TArtMask& Mask, int BitsPerPixel) {
  // Index 0 is black (kept), index 1 white (cut away).
  if (BitsPerPixel == 1) {
    TDib Dib(Mask.Width, Mask.Height, 1);
    Dib.Colors[0] = TRGBQuad{0, 0, 0, 0};
    Dib.Colors[1] = TRGBQuad{255, 255, 255, 0};
    for (int Y = 0; Y < Mask.Height; ++Y)
      for (int X = 0; X < Mask.Width; ++X) Dib.SetRaw(X, Y, Mask.At(X, Y) ? 0 : 1);
    TMemoryStream S;
    WriteBMP(Dib, S);
    return std::vector<uint8_t>(S.Memory(), S.Memory() + S.Size());
  }
  if (BitsPerPixel != 4) throw std::logic_error("artgen: mask depth must be 1 or 4");
  // At 4 bits only the two colours used are stored in the table (colours-used 2), which the
  // shared BMP writer does not do: the file is laid out here.
  const int Stride = TDib::StrideOf(Mask.Width, 4);
  const uint32_t Offset = 14 + 40 + 2 * 4;
  const uint32_t ImageSize = static_cast<uint32_t>(Stride * Mask.Height);
  TMemoryStream S;
  S.WriteBuffer("BM", 2);
  S.WriteDWord(Offset + ImageSize);
  S.WriteDWord(0);
  S.WriteDWord(Offset);
  S.WriteDWord(40);
  S.WriteDWord(static_cast<uint32_t>(Mask.Width));
  S.WriteDWord(static_cast<uint32_t>(Mask.Height));
  S.WriteWord(1);
  S.WriteWord(4);
  S.WriteDWord(0);
  S.WriteDWord(ImageSize);
  S.WriteDWord(0);
  S.WriteDWord(0);
  S.WriteDWord(2);
  S.WriteDWord(0);
  const uint8_t Table[8] = {0, 0, 0, 0, 255, 255, 255, 0};
  S.WriteBuffer(Table, 8);
  std::vector<uint8_t> Row(static_cast<size_t>(Stride));
  for (int Y = Mask.Height - 1; Y >= 0; --Y) {
    std::fill(Row.begin(), Row.end(), 0);
    for (int X = 0; X < Mask.Width; ++X)
      if (!Mask.At(X, Y)) Row[static_cast<size_t>(X / 2)] |= (X & 1) ? 0x01 : 0x10;
    S.WriteBuffer(Row.data(), Stride);
  }
  return std::vector<uint8_t>(S.Memory(), S.Memory() + S.Size());
}

std::vector<uint8_t> BuildIcon(const std::vector<TArtPicture>& Pictures) {
  TMemoryStream Head, Body;
  Head.WriteWord(0);
  Head.WriteWord(1);  // icon
  Head.WriteWord(static_cast<uint16_t>(Pictures.size()));
  uint32_t Offset = static_cast<uint32_t>(6 + 16 * Pictures.size());
  for (const TArtPicture& P : Pictures) {
    const int W = P.Width;
    const int H = P.Height;
    const int ColorStride = TDib::StrideOf(W, 24);
    const int MaskStride = TDib::StrideOf(W, 1);
    const uint32_t Size = static_cast<uint32_t>(40 + (ColorStride + MaskStride) * H);
    Head.WriteByte(static_cast<uint8_t>(W));
    Head.WriteByte(static_cast<uint8_t>(H));
    Head.WriteByte(0);  // no colour table
    Head.WriteByte(0);
    Head.WriteWord(1);   // planes
    Head.WriteWord(24);  // bits per pixel
    Head.WriteDWord(Size);
    Head.WriteDWord(Offset);
    Offset += Size;

    Body.WriteDWord(40);
    Body.WriteDWord(static_cast<uint32_t>(W));
    Body.WriteDWord(static_cast<uint32_t>(H * 2));  // colour rows and mask rows
    Body.WriteWord(1);
    Body.WriteWord(24);
    Body.WriteDWord(0);
    Body.WriteDWord(static_cast<uint32_t>((ColorStride + MaskStride) * H));
    for (int K = 0; K < 4; ++K) Body.WriteDWord(0);
    std::vector<uint8_t> Row(static_cast<size_t>(ColorStride));
    for (int Y = H - 1; Y >= 0; --Y) {
      std::fill(Row.begin(), Row.end(), 0);
      for (int X = 0; X < W; ++X) {
        if (P.AlphaAt(X, Y) < 0.5f) continue;
        const TRgb C = P.At(X, Y);
        Row[static_cast<size_t>(X * 3)] = ToByte(C.B);
        Row[static_cast<size_t>(X * 3 + 1)] = ToByte(C.G);
        Row[static_cast<size_t>(X * 3 + 2)] = ToByte(C.R);
      }
      Body.WriteBuffer(Row.data(), ColorStride);
    }
    std::vector<uint8_t> MaskRow(static_cast<size_t>(MaskStride));
    for (int Y = H - 1; Y >= 0; --Y) {
      std::fill(MaskRow.begin(), MaskRow.end(), 0);
      for (int X = 0; X < W; ++X)
        if (P.AlphaAt(X, Y) < 0.5f) MaskRow[static_cast<size_t>(X / 8)] |= 0x80 >> (X % 8);
      Body.WriteBuffer(MaskRow.data(), MaskStride);
    }
  }
  std::vector<uint8_t> Out(Head.Memory(), Head.Memory() + Head.Size());
  Out.insert(Out.end(), Body.Memory(), Body.Memory() + Body.Size());
  return Out;
}

void WriteFile(const std::string& FileName, const std::vector<uint8_t>& Bytes) {
  std::FILE* F = std::fopen(FileName.c_str(), "wb");
  if (!F) throw std::runtime_error("cannot create " + FileName);
  const size_t N = std::fwrite(Bytes.data(), 1, Bytes.size(), F);
  const bool Ok = std::fclose(F) == 0 && N == Bytes.size();
  if (!Ok) throw std::runtime_error("cannot write " + FileName);
}

}  // namespace orn::artgen

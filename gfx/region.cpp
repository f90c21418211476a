// Regions kept as y-x banded rectangle lists, combined band by band.
#include <algorithm>

#include "gfx/gdi.h"

namespace orn {

namespace {

using TSpans = std::vector<std::pair<int, int>>;  // sorted, disjoint [left, right)

struct TBand {
  int Top;
  int Bottom;
  TSpans Spans;
};

std::vector<TBand> ToBands(const std::vector<TRect>& Rects) {
  std::vector<TBand> Bands;
  for (const TRect& R : Rects) {
    if (Bands.empty() || Bands.back().Top != R.Top || Bands.back().Bottom != R.Bottom)
      Bands.push_back(TBand{R.Top, R.Bottom, {}});
    Bands.back().Spans.emplace_back(R.Left, R.Right);
  }
  return Bands;
}

bool Apply(int Mode, bool A, bool B) {
  switch (Mode) {
    case RGN_AND:
      return A && B;
    case RGN_OR:
      return A || B;
    case RGN_XOR:
      return A != B;
    case RGN_DIFF:
      return A && !B;
    default:
      return A;
  }
}

TSpans CombineSpans(const TSpans& A, const TSpans& B, int Mode) {
  std::vector<int> Xs;
  for (auto& S : A) Xs.insert(Xs.end(), {S.first, S.second});
  for (auto& S : B) Xs.insert(Xs.end(), {S.first, S.second});
  std::sort(Xs.begin(), Xs.end());
  Xs.erase(std::unique(Xs.begin(), Xs.end()), Xs.end());
  TSpans Out;
  size_t IA = 0, IB = 0;
  for (size_t I = 0; I + 1 < Xs.size(); ++I) {
    int X0 = Xs[I], X1 = Xs[I + 1];
    while (IA < A.size() && A[IA].second <= X0) ++IA;
    while (IB < B.size() && B[IB].second <= X0) ++IB;
    bool InA = IA < A.size() && A[IA].first <= X0;
    bool InB = IB < B.size() && B[IB].first <= X0;
    if (!Apply(Mode, InA, InB)) continue;
    if (!Out.empty() && Out.back().second == X0)
      Out.back().second = X1;
    else
      Out.emplace_back(X0, X1);
  }
  return Out;
}

std::vector<TRect> Combine(const std::vector<TRect>& RA, const std::vector<TRect>& RB, int Mode) {
  std::vector<TBand> A = ToBands(RA), B = ToBands(RB);
  std::vector<int> Ys;
  for (auto& Band : A) Ys.insert(Ys.end(), {Band.Top, Band.Bottom});
  for (auto& Band : B) Ys.insert(Ys.end(), {Band.Top, Band.Bottom});
  std::sort(Ys.begin(), Ys.end());
  Ys.erase(std::unique(Ys.begin(), Ys.end()), Ys.end());
  std::vector<TBand> Out;
  size_t IA = 0, IB = 0;
  static const TSpans None;
  for (size_t I = 0; I + 1 < Ys.size(); ++I) {
    int Y0 = Ys[I], Y1 = Ys[I + 1];
    while (IA < A.size() && A[IA].Bottom <= Y0) ++IA;
    while (IB < B.size() && B[IB].Bottom <= Y0) ++IB;
    const TSpans& SA = (IA < A.size() && A[IA].Top <= Y0) ? A[IA].Spans : None;
    const TSpans& SB = (IB < B.size() && B[IB].Top <= Y0) ? B[IB].Spans : None;
    TSpans S = CombineSpans(SA, SB, Mode);
    if (S.empty()) continue;
    if (!Out.empty() && Out.back().Bottom == Y0 && Out.back().Spans == S)
      Out.back().Bottom = Y1;
    else
      Out.push_back(TBand{Y0, Y1, std::move(S)});
  }
  std::vector<TRect> Rects;
  for (auto& Band : Out)
    for (auto& S : Band.Spans) Rects.push_back(TRect{S.first, Band.Top, S.second, Band.Bottom});
  return Rects;
}

int Kind(const TGdiRegion& R) {
  if (R.Rects.empty()) return NULLREGION;
  return R.Rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

}  // namespace

bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B) {
  TRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom)};
  if (R.IsEmpty()) {
    Dest = TRect{};
    return false;
  }
  Dest = R;
  return true;
}

HRGN CreateRectRgn(int Left, int Top, int Right, int Bottom) {
  auto* R = new TGdiRegion;
  TRect Box{std::min(Left, Right), std::min(Top, Bottom), std::max(Left, Right),
            std::max(Top, Bottom)};
  if (!Box.IsEmpty()) R->Rects.push_back(Box);
  return R;
}

bool DeleteObject(HRGN Region) {
  if (!Region) return false;
  delete Region;
  return true;
}

int CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, int Mode) {
  if (!Dest || !Src1 || Mode < RGN_AND || Mode > RGN_COPY) return RGN_ERROR;
  if (Mode == RGN_COPY) {
    Dest->Rects = Src1->Rects;
    return Kind(*Dest);
  }
  if (!Src2) return RGN_ERROR;
  Dest->Rects = Combine(Src1->Rects, Src2->Rects, Mode);
  return Kind(*Dest);
}

std::vector<TRect> GetRegionRects(HRGN Region) {
  return Region ? Region->Rects : std::vector<TRect>{};
}

int GetRgnBox(HRGN Region, TRect& Box) {
  Box = TRect{};
  if (!Region) return RGN_ERROR;
  if (Region->Rects.empty()) return NULLREGION;
  Box = Region->Rects.front();
  for (const TRect& R : Region->Rects) {
    Box.Left = std::min(Box.Left, R.Left);
    Box.Top = std::min(Box.Top, R.Top);
    Box.Right = std::max(Box.Right, R.Right);
    Box.Bottom = std::max(Box.Bottom, R.Bottom);
  }
  return Kind(*Region);
}

bool PtInRegion(HRGN Region, int X, int Y) {
  if (!Region) return false;
  for (const TRect& R : Region->Rects)
    if (R.Contains(X, Y)) return true;
  return false;
}

int OffsetRgn(HRGN Region, int DX, int DY) {
  if (!Region) return RGN_ERROR;
  for (TRect& R : Region->Rects) R = TRect{R.Left + DX, R.Top + DY, R.Right + DX, R.Bottom + DY};
  return Kind(*Region);
}

bool EqualRgn(HRGN A, HRGN B) {
  return A && B && A->Rects == B->Rects;
}

}  // namespace orn

#include "tools/artgen_products.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "tools/artgen_elements.h"

namespace orn::artgen {

namespace {

constexpr float Pi = 3.14159265f;

// A light that twinkles: its level follows a cosine that repeats Speed times per loop of
// the animation, so the last frame leads smoothly into the first.
struct TLightSpot {
  float X, Y;
  TRgb Color;
  int Speed;
  float Phase;
};

float TwinkleLevel(const TLightSpot& L, int Frame, int Frames) {
  const float T = static_cast<float>(Frame) / static_cast<float>(Frames);
  const float C = 0.5f + 0.5f * std::cos(2 * Pi * (static_cast<float>(L.Speed) * T + L.Phase));
  return std::pow(C, 1.6f);
}

// A snowflake that appears, drifts down by Fall pixels over one loop of the animation and
// melts away again; Offset staggers the flakes.
struct TFlake {
  float X, Y, Fall, Drift, Offset, Radius;
};

void PaintSnow(TArtSurface& S, const std::vector<TFlake>& Flakes, int Frame, int Frames) {
  for (const TFlake& F : Flakes) {
    float Age = static_cast<float>(Frame) / static_cast<float>(Frames) + F.Offset;
    Age -= std::floor(Age);
    const float Y = F.Y + F.Fall * Age;
    const float X = F.X + F.Drift * std::sin(2 * Pi * (Age + F.Offset * 3));
    const float Alpha = std::pow(std::sin(Pi * Age), 0.7f);
    PaintFlake(S, X, Y, F.Radius, 0.95f * Alpha);
  }
}

// Widest extent of a set of tiers at a height.
float Envelope(const std::vector<TTier>& Tiers, float Y) {
  float W = 0;
  for (const TTier& T : Tiers) W = std::max(W, TierHalfWidthAtY(T, Y));
  return W;
}

// Lights scattered over the tree, at least Spacing apart and clear of the points in Avoid.
std::vector<TLightSpot> ScatterLights(const std::vector<TTier>& Tiers, int Count, float Y0,
                                      float Y1, float Spacing, const std::vector<TPointF>& Avoid,
                                      const std::vector<TRgb>& Colors, int Frames, unsigned Seed) {
  TArtRandom R(Seed);
  std::vector<TLightSpot> Out;
  for (int Try = 0; Try < 20000 && static_cast<int>(Out.size()) < Count; ++Try) {
    const float Y = R.Range(Y0, Y1);
    const float X = Tiers[0].Cx + R.Range(-1.0f, 1.0f) * Envelope(Tiers, Y) * 0.82f;
    const uint32_t Pick = R.Next();
    auto Near = [&](float Px, float Py, float D) {
      return (Px - X) * (Px - X) + (Py - Y) * (Py - Y) < D * D;
    };
    bool Clear = true;
    for (const TLightSpot& L : Out) Clear = Clear && !Near(L.X, L.Y, Spacing);
    for (const TPointF& P : Avoid) Clear = Clear && !Near(P.X, P.Y, 3.5f);
    if (!Clear) continue;
    const int Speed = Frames >= 20 ? 1 + static_cast<int>(Pick % 2) : 1;
    const float Phase = static_cast<float>((Pick >> 8) % static_cast<uint32_t>(Frames)) /
                        static_cast<float>(Frames);
    Out.push_back({X, Y, Colors[Out.size() % Colors.size()], Speed, Phase});
  }
  return Out;
}

std::vector<TFlake> ScatterFlakes(const std::vector<TTier>& Tiers, int Count, float Y0, float Y1,
                                  float Fall, unsigned Seed) {
  TArtRandom R(Seed);
  std::vector<TFlake> Out;
  while (static_cast<int>(Out.size()) < Count) {
    const float Y = R.Range(Y0, Y1);
    const float Hw = Envelope(Tiers, Y + Fall * 0.5f) * 0.8f;
    const float X = Tiers[0].Cx + R.Range(-1.0f, 1.0f) * Hw;
    const float Drift = R.Range(1.0f, 3.0f);
    const float Offset = static_cast<float>(Out.size()) / static_cast<float>(Count);
    const float Radius = R.Range(1.0f, 1.7f);
    if (Hw < 2) continue;
    Out.push_back({X, Y, Fall, Drift, Offset, Radius});
  }
  return Out;
}

std::vector<TLightSpot> LightsAlong(const TSpiral& Spiral, float Step,
                                    const std::function<float(float)>& HalfWidthAt,
                                    const std::vector<TRgb>& Colors, int Frames, unsigned Seed) {
  TArtRandom R(Seed);
  std::vector<TLightSpot> Out;
  const auto Points = SpiralFront(Spiral, Step, HalfWidthAt);
  for (size_t I = 0; I < Points.size(); ++I) {
    const int Speed = Frames >= 20 ? 1 + static_cast<int>(R.Next() % 2) : 1;
    // Phases on the frame grid, so short loops still show every level.
    const float Phase =
        static_cast<float>(R.Next() % static_cast<uint32_t>(Frames)) / static_cast<float>(Frames);
    Out.push_back({Points[I].X, Points[I].Y, Colors[I % Colors.size()], Speed, Phase});
  }
  return Out;
}

// A drift of snow: a wide mound with two softer humps on it, lit from the upper left, and a
// few glittering crystals.
void PaintSnowMound(TArtSurface& S, float Cx, float Cy, float Rx, float Ry, unsigned Seed = 1) {
  auto Shade = [](float Cx0, float Cy0, float Rx0, float Ry0) {
    return [=](float X, float Y) {
      const float U = (X - Cx0) / Rx0;
      const float V = (Y - Cy0) / Ry0;
      const float Lit = std::clamp(0.85f - 0.4f * U - 0.5f * V, 0.0f, 1.0f);
      return TPaint{Mix(Rgb(140, 164, 206), Rgb(252, 253, 255), Lit), 1};
    };
  };
  S.FillEllipse(Cx, Cy, Rx, Ry, Shade(Cx, Cy, Rx, Ry));
  const float Hx[2] = {Cx - Rx * 0.42f, Cx + Rx * 0.38f};
  const float Hs[2] = {0.42f, 0.34f};
  for (int K = 0; K < 2; ++K) {
    const float Rx2 = Rx * Hs[K], Ry2 = Ry * 0.75f;
    S.FillEllipse(Hx[K], Cy - Ry * 0.25f, Rx2, Ry2, Shade(Hx[K], Cy - Ry * 0.25f, Rx2, Ry2));
  }
  TArtRandom R(Seed);
  for (int K = 0; K < static_cast<int>(Rx / 5); ++K) {
    const float U = R.Range(-0.8f, 0.8f);
    const float V = R.Range(-0.5f, 0.6f);
    PaintFlake(S, Cx + U * Rx, Cy + V * Ry, 0.6f, 1.0f);
  }
}

// Points on the lower, shaded part of a snow drift, where glints flash now and then.
std::vector<TLightSpot> Glitter(float Cx, float Cy, float Rx, float Ry, int Count, int Frames,
                                unsigned Seed) {
  TArtRandom R(Seed);
  std::vector<TLightSpot> Out;
  while (static_cast<int>(Out.size()) < Count) {
    const float U = R.Range(-0.8f, 0.8f), V = R.Range(0.0f, 0.6f);
    if (U * U + V * V > 0.7f) continue;
    const float Phase =
        static_cast<float>(R.Next() % static_cast<uint32_t>(Frames)) / static_cast<float>(Frames);
    Out.push_back({Cx + U * Rx, Cy + V * Ry, Rgb(255, 255, 255), 1, Phase});
  }
  return Out;
}

// A glint is visible only near the top of its cycle, so each flashes briefly.
void PaintGlitter(TArtSurface& S, const std::vector<TLightSpot>& Points, int Frame, int Frames) {
  for (const TLightSpot& G : Points) {
    const float L = TwinkleLevel(G, Frame, Frames);
    PaintSparkle(S, G.X, G.Y, std::max(0.0f, (L - 0.6f) / 0.4f));
  }
}

// The soft blue shadow the tree casts on the snow around its foot.
void PaintShadow(TArtSurface& S, float Cx, float Cy, float Rx, float Ry) {
  S.FillEllipse(Cx, Cy, Rx, Ry, [=](float X, float Y) {
    const float U = (X - Cx) / Rx, V = (Y - Cy) / Ry;
    return TPaint{Rgb(96, 118, 170), 0.55f * (1 - (U * U + V * V))};
  });
}

std::vector<TGIFDisposal> Disposals(int Frames, const std::vector<int>& Restore) {
  std::vector<TGIFDisposal> D(static_cast<size_t>(Frames), TGIFDisposal::gdLeave);
  for (int F : Restore) D[static_cast<size_t>(F)] = TGIFDisposal::gdRestoreBackground;
  return D;
}

std::vector<bool> Covers(int Frames, const std::vector<int>& Full) {
  std::vector<bool> C(static_cast<size_t>(Frames), false);
  for (int F : Full) C[static_cast<size_t>(F)] = true;
  return C;
}

std::vector<int> Span(int From, int To) {
  std::vector<int> R;
  for (int I = From; I <= To; ++I) R.push_back(I);
  return R;
}

const TRgb Red = Rgb(206, 28, 40);
const TRgb Gold = Rgb(236, 170, 36);
const TRgb Blue = Rgb(36, 96, 210);
const TRgb Silver = Rgb(206, 212, 224);
const TRgb Purple = Rgb(150, 46, 176);

// ---- fernlight: a slim fir with a bead garland, small baubles at the branch tips and
// coloured lights, standing in a snow mound.
TProductArt Fernlight() {
  TProductArt P;
  P.Name = "fernlight";
  P.Width = 118;
  P.Height = 170;
  P.FrameCount = 40;
  P.MaskBits = 4;
  P.Layout.DelayMs = 50;
  P.Layout.Transparent = true;
  P.Layout.PaintsAll = false;
  P.Layout.BackgroundIndex = 255;
  std::vector<int> Restore{22, 24};
  for (int F : Span(26, 38)) Restore.push_back(F);
  P.Layout.Disposal = Disposals(40, Restore);
  std::vector<int> Full{0, 23, 25};
  for (int F : Span(27, 39)) Full.push_back(F);
  P.Layout.FullCover = Covers(40, Full);

  const float Cx = 59;
  auto Tiers = std::make_shared<std::vector<TTier>>(
      std::vector<TTier>{{Cx, 100, 149, 50, 8, 5.5f, -0.15f, 11},
                         {Cx, 80, 125, 43, 7, 5.0f, -0.15f, 12},
                         {Cx, 60, 102, 36, 6, 4.5f, -0.15f, 13},
                         {Cx, 42, 80, 29, 5, 4.0f, -0.15f, 14},
                         {Cx, 26, 60, 22, 4, 3.5f, -0.15f, 15},
                         {Cx, 13, 40, 15, 3, 3.0f, -0.15f, 16}});
  const TFoliageColors Green{Rgb(5, 32, 24), Rgb(18, 80, 44), Rgb(56, 134, 60), Rgb(144, 196, 104)};
  auto HalfWidth = [Tiers](float Y) { return Envelope(*Tiers, Y) * 0.82f; };
  const TSpiral Beads{Cx, 30, 146, 3.2f, 2.2f, 2.0f};
  const TSpiral Wire{Cx, 22, 142, 3.2f, 0.4f, 1.0f};

  P.PaintStatic = [=](TArtSurface& S) {
    PaintTrunk(S, Cx, 138, 158, 6);
    PaintSnowMound(S, Cx, 161, 36, 8);
    PaintShadow(S, Cx + 3, 156, 20, 3.5f);
    for (const TTier& T : *Tiers) PaintTier(S, T, Green);
    PaintBeads(S, Beads, HalfWidth, Rgb(240, 196, 80));
    PaintStar(S, Cx, 13, 11, 0);
    // Baubles hang from the tips of the branches.
    const TRgb Colors[] = {Red, Gold, Blue, Silver, Purple};
    int K = 0;
    for (size_t I = 0; I + 1 < Tiers->size(); ++I) {
      const TTier& T = (*Tiers)[I];
      for (int L = 1 + static_cast<int>(I % 2); L < T.Lobes; L += 2) {
        const float X = T.Cx - T.HalfWidth + 2 * T.HalfWidth * static_cast<float>(L) / T.Lobes;
        const float R = I < 2 ? 3.2f : 2.7f;
        PaintBauble(S, X, TierEdgeAt(T, X) + R * 0.4f, R, Colors[K++ % 5]);
      }
    }
  };
  const auto Lights = std::make_shared<std::vector<TLightSpot>>(
      LightsAlong(Wire, 7.5f, HalfWidth,
                  {Rgb(255, 206, 110), Rgb(255, 70, 60), Rgb(90, 170, 255), Rgb(255, 206, 110),
                   Rgb(110, 240, 130), Rgb(255, 110, 210)},
                  40, 77));
  const auto Flakes =
      std::make_shared<std::vector<TFlake>>(ScatterFlakes(*Tiers, 16, 14, 118, 34, 5));
  const auto Sparks = std::make_shared<std::vector<TLightSpot>>(Glitter(Cx, 161, 36, 8, 5, 40, 61));
  P.PaintFrame = [=](TArtSurface& S, int Frame) {
    for (const TLightSpot& L : *Lights)
      PaintLight(S, L.X, L.Y, L.Color, TwinkleLevel(L, Frame, 40), 1.1f);
    const float Shine = 0.5f + 0.5f * std::cos(2 * Pi * static_cast<float>(Frame) / 20.0f);
    PaintStar(S, Cx, 13, 11, Shine);
    PaintSnow(S, *Flakes, Frame, 40);
    PaintGlitter(S, *Sparks, Frame, 40);
  };
  return P;
}

// ---- velmora: a round, full tree wound with red satin ribbons, gold baubles and warm
// lights.
TProductArt Velmora() {
  TProductArt P;
  P.Name = "velmora";
  P.Width = 180;
  P.Height = 200;
  P.FrameCount = 8;
  P.MaskBits = 1;
  P.Layout.DelayMs = 100;
  P.Layout.Transparent = false;
  P.Layout.PaintsAll = true;
  P.Layout.BackgroundIndex = 0;
  P.Layout.Interlaced = true;
  P.Layout.Background = Rgb(18, 26, 54);
  P.Layout.Disposal = Disposals(8, {});
  P.Layout.FullCover = Covers(8, {0});

  const float Cx = 90;
  auto Tiers = std::make_shared<std::vector<TTier>>(
      std::vector<TTier>{{Cx, 106, 171, 80, 7, 6.0f, 0.55f, 21},
                         {Cx, 76, 139, 66, 6, 5.5f, 0.55f, 22},
                         {Cx, 46, 106, 50, 5, 5.0f, 0.55f, 23},
                         {Cx, 20, 72, 33, 4, 4.5f, 0.55f, 24}});
  const TFoliageColors Green{Rgb(6, 34, 30), Rgb(20, 86, 56), Rgb(60, 140, 80), Rgb(150, 204, 124)};
  auto HalfWidth = [Tiers](float Y) { return Envelope(*Tiers, Y) * 0.86f; };
  const TSpiral RibbonA{Cx, 30, 162, 2.1f, 0.3f, 4.5f};
  const TSpiral RibbonB{Cx, 30, 162, 2.1f, 0.3f + Pi, 4.5f};

  P.PaintStatic = [=](TArtSurface& S) {
    PaintTrunk(S, Cx, 160, 184, 9);
    PaintSnowMound(S, Cx, 188, 46, 9);
    PaintShadow(S, Cx + 4, 182, 28, 4);
    for (const TTier& T : *Tiers) PaintTier(S, T, Green);
    PaintRibbon(S, RibbonA, HalfWidth, Rgb(214, 30, 52));
    PaintRibbon(S, RibbonB, HalfWidth, Rgb(214, 30, 52));
    const TRgb Colors[] = {Gold, Purple, Gold, Silver};
    int K = 0;
    for (size_t I = 0; I + 1 < Tiers->size(); ++I) {
      const TTier& T = (*Tiers)[I];
      for (int L = 1 + static_cast<int>(I % 2); L < T.Lobes; L += 2) {
        const float X = T.Cx - T.HalfWidth + 2 * T.HalfWidth * static_cast<float>(L) / T.Lobes;
        const float R = I < 2 ? 4.6f : 3.8f;
        PaintBauble(S, X, TierEdgeAt(T, X) + R * 0.3f, R, Colors[K++ % 4]);
      }
    }
    PaintBow(S, Cx, 33, 10, Rgb(214, 30, 52));
    PaintStar(S, Cx, 16, 13, 0);
  };
  std::vector<TPointF> OnRibbons = SpiralFront(RibbonA, 1.0f, HalfWidth);
  for (const TPointF& Q : SpiralFront(RibbonB, 1.0f, HalfWidth)) OnRibbons.push_back(Q);
  for (float Dy = 27; Dy <= 45; Dy += 3)  // the bow
    for (float Dx = -12; Dx <= 12; Dx += 3) OnRibbons.push_back({Cx + Dx, Dy});
  const auto Lights = std::make_shared<std::vector<TLightSpot>>(
      ScatterLights(*Tiers, 34, 30, 160, 11, OnRibbons,
                    {Rgb(255, 214, 130), Rgb(255, 236, 180), Rgb(255, 180, 90)}, 8, 31));
  const auto Flakes =
      std::make_shared<std::vector<TFlake>>(ScatterFlakes(*Tiers, 14, 20, 150, 12, 9));
  const auto Sparks = std::make_shared<std::vector<TLightSpot>>(Glitter(Cx, 188, 46, 9, 6, 8, 62));
  P.PaintFrame = [=](TArtSurface& S, int Frame) {
    for (const TLightSpot& L : *Lights)
      PaintLight(S, L.X, L.Y, L.Color, TwinkleLevel(L, Frame, 8), 1.25f);
    const float Shine = 0.5f + 0.5f * std::cos(2 * Pi * static_cast<float>(Frame) / 8.0f);
    PaintStar(S, Cx, 16, 13, Shine);
    PaintSnow(S, *Flakes, Frame, 8);
    PaintGlitter(S, *Sparks, Frame, 8);
  };
  return P;
}

void PaintGift(TArtSurface& S, float X0, float Y0, float X1, float Y1) {
  const float Mx = (X0 + X1) / 2;
  // Box, lit from the left.
  S.Fill(
      X0, Y0, X1, Y1, [=](float X, float Y) { return X >= X0 && X <= X1 && Y >= Y0 && Y <= Y1; },
      [=](float X, float Y) {
        const float U = (X - X0) / (X1 - X0);
        const float V = (Y - Y0) / (Y1 - Y0);
        return TPaint{
            Mix(Rgb(226, 40, 54), Rgb(110, 12, 28), std::clamp(U * 0.8f + V * 0.3f, 0.0f, 1.0f)),
            1};
      });
  // Lid, a little wider.
  S.Fill(
      X0 - 3, Y0 - 6, X1 + 3, Y0 + 2,
      [=](float X, float Y) { return X >= X0 - 3 && X <= X1 + 3 && Y >= Y0 - 6 && Y <= Y0 + 2; },
      [=](float X, float Y) {
        const float U = (X - X0) / (X1 - X0);
        const float Top = Y < Y0 - 4 ? 0.25f : 0.0f;
        return TPaint{
            Mix(Rgb(240, 64, 74), Rgb(130, 16, 32), std::clamp(U * 0.8f - Top, 0.0f, 1.0f)), 1};
      });
  // Gold ribbon crossing the box and the lid.
  auto RibbonColor = [](float T) { return Mix(Rgb(255, 226, 120), Rgb(170, 112, 20), T); };
  S.Fill(
      Mx - 3, Y0 - 6, Mx + 3, Y1,
      [=](float X, float Y) { return std::fabs(X - Mx) <= 3 && Y >= Y0 - 6 && Y <= Y1; },
      [=](float X, float) {
        return TPaint{RibbonColor((X - (Mx - 3)) / 6), 1};
      });
  const float My = (Y0 + Y1) / 2 + 2;
  S.Fill(
      X0, My - 3, X1, My + 3,
      [=](float X, float Y) { return X >= X0 && X <= X1 && std::fabs(Y - My) <= 3; },
      [=](float X, float Y) {
        return TPaint{RibbonColor(std::clamp(
                          (Y - (My - 3)) / 6 * 0.6f + (X - X0) / (X1 - X0) * 0.4f, 0.0f, 1.0f)),
                      1};
      });
  PaintBow(S, Mx, Y0 - 8, 12, Rgb(236, 178, 44));
}

// ---- sarnith: a snow-laden spruce with warm lights, silver and red baubles, and a gift in
// the snow beside it.
TProductArt Sarnith() {
  TProductArt P;
  P.Name = "sarnith";
  P.Width = 190;
  P.Height = 225;
  P.FrameCount = 50;
  P.MaskBits = 1;
  P.Layout.DelayMs = 70;
  P.Layout.Transparent = true;
  P.Layout.PaintsAll = true;
  P.Layout.BackgroundIndex = 0;
  P.Layout.Background = Rgb(16, 22, 48);
  P.Layout.Disposal = Disposals(50, {49});
  P.Layout.FullCover = Covers(50, {0, 49});

  const float Cx = 82;
  auto Tiers =
      std::make_shared<std::vector<TTier>>(std::vector<TTier>{{Cx, 118, 180, 72, 7, 6.0f, 0.0f, 31},
                                                              {Cx, 88, 149, 61, 6, 5.5f, 0.0f, 32},
                                                              {Cx, 60, 119, 49, 5, 5.0f, 0.0f, 33},
                                                              {Cx, 36, 89, 37, 4, 4.5f, 0.0f, 34},
                                                              {Cx, 16, 60, 24, 3, 4.0f, 0.0f, 35}});
  const TFoliageColors Spruce{Rgb(6, 30, 38), Rgb(20, 76, 70), Rgb(58, 128, 108),
                              Rgb(140, 190, 168)};

  P.PaintStatic = [=](TArtSurface& S) {
    PaintSnowMound(S, 96, 207, 86, 13);
    PaintShadow(S, Cx + 5, 197, 34, 4.5f);
    PaintTrunk(S, Cx, 170, 196, 8);
    for (const TTier& T : *Tiers) PaintTier(S, T, Spruce, 1.0f);
    const TRgb Colors[] = {Silver, Red, Silver, Red, Gold};
    int K = 0;
    for (size_t I = 0; I + 1 < Tiers->size(); ++I) {
      const TTier& T = (*Tiers)[I];
      for (int L = 1 + static_cast<int>(I % 2); L < T.Lobes; L += 2) {
        const float X = T.Cx - T.HalfWidth + 2 * T.HalfWidth * static_cast<float>(L) / T.Lobes;
        const float R = I < 2 ? 4.2f : 3.5f;
        PaintBauble(S, X, TierEdgeAt(T, X) + R * 0.3f, R, Colors[K++ % 5]);
      }
    }
    PaintStar(S, Cx, 14, 11, 0);
    PaintGift(S, 128, 182, 172, 212);
    // Snow drifted against the foot of the gift.
    PaintSnowMound(S, 150, 214, 30, 5);
  };
  const auto Lights = std::make_shared<std::vector<TLightSpot>>(
      ScatterLights(*Tiers, 36, 26, 172, 11, {},
                    {Rgb(255, 210, 120), Rgb(255, 232, 170), Rgb(255, 190, 100)}, 50, 53));
  const auto Flakes =
      std::make_shared<std::vector<TFlake>>(ScatterFlakes(*Tiers, 24, 14, 150, 44, 13));
  const auto Sparks =
      std::make_shared<std::vector<TLightSpot>>(Glitter(96, 207, 86, 13, 9, 50, 63));
  P.PaintFrame = [=](TArtSurface& S, int Frame) {
    for (const TLightSpot& L : *Lights)
      PaintLight(S, L.X, L.Y, L.Color, TwinkleLevel(L, Frame, 50), 1.2f);
    const float Shine = 0.5f + 0.5f * std::cos(2 * Pi * static_cast<float>(Frame) / 25.0f);
    PaintStar(S, Cx, 14, 11, Shine);
    PaintSnow(S, *Flakes, Frame, 50);
    PaintGlitter(S, *Sparks, Frame, 50);
  };
  return P;
}

}  // namespace

TProductArt MakeProduct(const std::string& Name) {
  if (Name == "fernlight") return Fernlight();
  if (Name == "velmora") return Velmora();
  if (Name == "sarnith") return Sarnith();
  return TProductArt{};
}

TArtPicture PaintIcon(int Size) {
  // Drawn on a 32-pixel grid; the small icon gets a slightly larger star and baubles so that
  // they still read at 16 pixels.
  const float K = static_cast<float>(Size) / 32.0f;
  const float Bold = Size < 24 ? 1.3f : 1.0f;
  TArtSurface S(Size, Size, 8);
  const TFoliageColors Green{Rgb(8, 46, 28), Rgb(26, 112, 54), Rgb(76, 172, 80),
                             Rgb(170, 224, 120)};
  PaintTrunk(S, 16 * K, 25 * K, 31.5f * K, 3 * K);
  std::vector<TTier> Tiers{{16 * K, 13 * K, 27.5f * K, 15 * K, 3, 2 * K, 0, 41, false},
                           {16 * K, 8 * K, 20.5f * K, 11.5f * K, 3, 1.8f * K, 0, 42, false},
                           {16 * K, 4 * K, 13.5f * K, 7.5f * K, 2, 1.5f * K, 0, 43, false}};
  for (const TTier& T : Tiers) PaintTier(S, T, Green);
  PaintBauble(S, 10.5f * K, 23 * K, 2.2f * K * Bold, Red);
  PaintBauble(S, 21.5f * K, 17.5f * K, 2 * K * Bold, Gold);
  PaintBauble(S, 13.5f * K, 12.5f * K, 1.6f * K * Bold, Blue);
  PaintStar(S, 16 * K, 5.5f * K, 5.2f * K * Bold, 0.6f);
  return S.Resolve();
}

}  // namespace orn::artgen

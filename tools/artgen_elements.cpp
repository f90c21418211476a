#include "tools/artgen_elements.h"

#include <algorithm>
#include <cmath>

namespace orn::artgen {

namespace {

constexpr float Pi = 3.14159265f;

// Light comes from the upper left and a little from the front.
struct TVec {
  float X, Y, Z;
};
constexpr TVec LightDir{-0.52f, -0.58f, 0.62f};

float Saturate(float V) {
  return std::clamp(V, 0.0f, 1.0f);
}

float TierHalfWidthAt(const TTier& T, float S) {
  S = Saturate(S);
  return T.HalfWidth * (S + T.Round * S * (1 - S));
}

TRgb Ramp(const TFoliageColors& C, float V) {
  V = Saturate(V);
  if (V < 0.5f) return Mix(C.Deep, C.Mid, V / 0.5f);
  if (V < 0.85f) return Mix(C.Mid, C.Light, (V - 0.5f) / 0.35f);
  return Mix(C.Light, C.Tip, (V - 0.85f) / 0.15f);
}

// Brightness of a tier at a point: a lit cone, darker under the tier above, brighter
// towards the hanging tips.
float TierValue(const TTier& T, float X, float Y) {
  const float S = Saturate((Y - T.Top) / (T.Bottom - T.Top));
  const float Hw = std::max(TierHalfWidthAt(T, S), 0.75f);
  const float U = std::clamp((X - T.Cx) / Hw, -1.0f, 1.0f);
  const float Nz = std::sqrt(std::max(0.0f, 1 - U * U));
  const TVec N{U * 0.9f, -0.35f, Nz * 0.9f};
  const float Diffuse = Saturate((N.X * LightDir.X + N.Y * LightDir.Y + N.Z * LightDir.Z) / 1.0f);
  float V = 0.18f + 0.72f * Diffuse;
  V *= 0.62f + 0.5f * S;
  return V;
}

}  // namespace

// The lowest point of the tier's hanging edge at X: tips at both corners and between the
// lobes, notches raised by Droop, the middle hanging a little lower (the tier is a cone
// seen from slightly above).
float TierEdgeAt(const TTier& T, float X) {
  const float V = Saturate((X - (T.Cx - T.HalfWidth)) / (2 * T.HalfWidth));
  const float Tip = std::pow(std::fabs(std::cos(Pi * static_cast<float>(T.Lobes) * V)), 0.6f);
  const float U = 2 * V - 1;
  const float Curve = std::min(5.0f, 0.1f * T.HalfWidth);
  return T.Bottom - T.Droop * (1 - Tip) - Curve * U * U;
}

float TierHalfWidthAtY(const TTier& T, float Y) {
  if (Y < T.Top || Y > T.Bottom) return 0;
  return TierHalfWidthAt(T, (Y - T.Top) / (T.Bottom - T.Top));
}

bool InsideTier(const TTier& T, float X, float Y) {
  if (Y < T.Top || Y > TierEdgeAt(T, X)) return false;
  const float CornerY = TierEdgeAt(T, T.Cx - T.HalfWidth);
  const float Hw = TierHalfWidthAt(T, (Y - T.Top) / (CornerY - T.Top));
  return std::fabs(X - T.Cx) <= Hw;
}

void PaintTier(TArtSurface& S, const TTier& T, const TFoliageColors& C, float SnowCover) {
  auto Inside = [&T](float X, float Y) { return InsideTier(T, X, Y); };
  S.Fill(T.Cx - T.HalfWidth, T.Top, T.Cx + T.HalfWidth, T.Bottom + 1, Inside,
         [&](float X, float Y) {
           // The last pixel row above the hanging edge is darkened a little: a soft rim that keeps
           // tiers apart where they overlap.
           const float Edge = TierEdgeAt(T, X) - Y;
           float V = TierValue(T, X, Y);
           if (Edge < 1.2f) V *= 0.8f;
           return TPaint{Ramp(C, V), 1};
         });

  // Needles: short strokes hanging outwards from the trunk, lighter on the lit side.
  TArtRandom Rnd(T.Seed);
  const float Area = T.HalfWidth * (T.Bottom - T.Top);
  const int Count = T.Needles ? static_cast<int>(Area / 5.0f) : 0;
  for (int K = 0; K < Count; ++K) {
    const float Sy = std::sqrt(Rnd.Unit());  // more needles where the tier is wide
    const float Y = T.Top + Sy * (T.Bottom - T.Top);
    const float Hw = TierHalfWidthAt(T, Sy);
    const float X = T.Cx + Rnd.Range(-1.0f, 1.0f) * Hw;
    const float Len = Rnd.Range(2.0f, 4.5f);
    const float Highlight = Rnd.Unit();
    if (!Inside(X, Y)) continue;
    const float U = std::clamp((X - T.Cx) / std::max(Hw, 1.0f), -1.0f, 1.0f);
    float Dx = U * 0.85f + Rnd.Range(-0.2f, 0.2f);
    float Dy = 0.55f + Rnd.Range(0.0f, 0.3f);
    const float L = std::sqrt(Dx * Dx + Dy * Dy);
    Dx /= L;
    Dy /= L;
    const float Base = TierValue(T, X, Y);
    const float Shift = Highlight < 0.55f ? 0.17f + 0.08f * Base : -0.22f;
    const TRgb Col = Ramp(C, Base + Shift);
    const TPointF A{X, Y};
    const TPointF B{X + Dx * Len, Y + Dy * Len};
    const float Hw2 = 0.42f;
    S.Fill(
        std::min(A.X, B.X) - 1, std::min(A.Y, B.Y) - 1, std::max(A.X, B.X) + 1,
        std::max(A.Y, B.Y) + 1,
        [&](float Px, float Py) {
          if (!Inside(Px, Py)) return false;
          const float Ex = B.X - A.X, Ey = B.Y - A.Y;
          const float Tt =
              std::clamp(((Px - A.X) * Ex + (Py - A.Y) * Ey) / (Ex * Ex + Ey * Ey), 0.0f, 1.0f);
          const float Qx = A.X + Tt * Ex - Px, Qy = A.Y + Tt * Ey - Py;
          return Qx * Qx + Qy * Qy <= Hw2 * Hw2;
        },
        Solid(Col, 0.9f));
  }

  if (SnowCover > 0) {
    // Snow resting on the branches: a wavy band just above the hanging edge, white on the
    // lit side and blue-grey in the shade.
    const float Band = 1.5f + 3.0f * SnowCover;
    S.Fill(
        T.Cx - T.HalfWidth, T.Top, T.Cx + T.HalfWidth, T.Bottom + 1,
        [&](float X, float Y) {
          if (!Inside(X, Y)) return false;
          const float Edge = TierEdgeAt(T, X);
          const float Wave =
              1.2f * std::sin(X * 0.9f + static_cast<float>(T.Seed)) + 0.8f * std::sin(X * 2.3f);
          const float TopY = Edge - T.Droop - Band + Wave;
          const float BottomY = Edge - T.Droop * 0.35f - 1.0f;
          return Y >= TopY && Y <= BottomY;
        },
        [&](float X, float Y) {
          const float U = std::clamp((X - T.Cx) / T.HalfWidth, -1.0f, 1.0f);
          const float Edge = TierEdgeAt(T, X);
          const float Depth = Saturate((Edge - T.Droop * 0.35f - 1.0f - Y) / (Band + T.Droop));
          TRgb Lit = Rgb(250, 252, 255);
          TRgb Shade = Rgb(160, 182, 214);
          const float L = Saturate(0.75f - 0.55f * U + 0.3f * Depth);
          return TPaint{Mix(Shade, Lit, L), 1};
        });
  }
}

void PaintBauble(TArtSurface& S, float Cx, float Cy, float R, TRgb Color) {
  if (R >= 2.5f) {
    // Cap and hook.
    const float Cw = std::max(1.0f, R * 0.38f);
    const float Ch = std::max(1.0f, R * 0.3f);
    S.Fill(
        Cx - Cw, Cy - R - Ch, Cx + Cw, Cy - R + 1,
        [=](float X, float Y) {
          return X >= Cx - Cw && X <= Cx + Cw && Y >= Cy - R - Ch + 0.2f && Y <= Cy - R + 1;
        },
        [=](float X, float) {
          const float U = (X - (Cx - Cw)) / (2 * Cw);
          return TPaint{Mix(Rgb(255, 236, 160), Rgb(150, 110, 30), U), 1};
        });
  }
  S.FillCircle(Cx, Cy, R, [=](float X, float Y) {
    const float Nx = (X - Cx) / R;
    const float Ny = (Y - Cy) / R;
    const float Nz = std::sqrt(std::max(0.0f, 1 - Nx * Nx - Ny * Ny));
    const float D = Saturate(Nx * LightDir.X + Ny * LightDir.Y + Nz * LightDir.Z);
    // Reflection of the light for the highlight.
    const float Rz = 2 * D * Nz - LightDir.Z;
    const float Specular = std::pow(Saturate(Rz), 24.0f);
    TRgb C = Scale(Color, 0.28f + 0.9f * D);
    // A faint rim light on the shadow side.
    const float Rim = Saturate((Nx + Ny) * 0.7f) * std::pow(1 - Nz, 2.0f);
    C = Mix(C, Scale(Color, 1.1f), Rim * 0.5f);
    C = Mix(C, Rgb(255, 255, 255), Specular);
    return TPaint{C, 1};
  });
}

void PaintLight(TArtSurface& S, float Cx, float Cy, TRgb Color, float Level, float Size) {
  Level = Saturate(Level);
  if (Level > 0.05f) S.Glow(Cx, Cy, (2.5f + 3.5f * Level) * Size, Color, 0.95f * Level);
  const TRgb Dim = Scale(Color, 0.42f);
  const TRgb Hot = Mix(Color, Rgb(255, 255, 235), 0.6f);
  const float R = (1.3f + 0.2f * Level) * Size;
  S.FillCircle(Cx, Cy, R, [=](float X, float Y) {
    const float D = std::sqrt((X - Cx) * (X - Cx) + (Y - Cy) * (Y - Cy)) / R;
    TRgb C = Mix(Dim, Color, Level);
    C = Mix(C, Hot, Level * (1 - D));
    return TPaint{C, 1};
  });
}

void PaintStar(TArtSurface& S, float Cx, float Cy, float Outer, float Shine) {
  const float Inner = Outer * 0.46f;
  std::vector<TPointF> Tips, Valleys;
  for (int K = 0; K < 5; ++K) {
    const float A = -Pi / 2 + static_cast<float>(K) * 2 * Pi / 5;
    const float B = A + Pi / 5;
    Tips.push_back({Cx + Outer * std::cos(A), Cy + Outer * std::sin(A)});
    Valleys.push_back({Cx + Inner * std::cos(B), Cy + Inner * std::sin(B)});
  }
  // Dark rim: the same star a little larger.
  std::vector<TPointF> Rim;
  for (int K = 0; K < 5; ++K) {
    const float A = -Pi / 2 + static_cast<float>(K) * 2 * Pi / 5;
    const float B = A + Pi / 5;
    Rim.push_back({Cx + (Outer + 0.8f) * std::cos(A), Cy + (Outer + 0.8f) * std::sin(A)});
    Rim.push_back({Cx + (Inner + 0.8f) * std::cos(B), Cy + (Inner + 0.8f) * std::sin(B)});
  }
  S.FillPolygon(Rim, Solid(Rgb(140, 84, 8)));
  const TRgb Dark = Rgb(178, 100, 10);
  const TRgb Mid = Rgb(242, 178, 36);
  const TRgb Light = Mix(Rgb(255, 232, 130), Rgb(255, 250, 214), Shine);
  // Each point is two facets meeting along its ridge; a facet is as bright as its side of
  // the ridge faces the light.
  const float Ll = std::hypot(LightDir.X, LightDir.Y);
  const float Lx = LightDir.X / Ll, Ly = LightDir.Y / Ll;
  const TPointF Centre{Cx, Cy};
  for (int K = 0; K < 5; ++K) {
    const TPointF Tip = Tips[static_cast<size_t>(K)];
    const TPointF Sides[2] = {Valleys[static_cast<size_t>((K + 4) % 5)],
                              Valleys[static_cast<size_t>(K)]};
    const float Rl = std::hypot(Tip.X - Cx, Tip.Y - Cy);
    const float Rx = (Tip.X - Cx) / Rl, Ry = (Tip.Y - Cy) / Rl;
    for (const TPointF& Valley : Sides) {
      float Px = -Ry, Py = Rx;
      if (Px * (Valley.X - Cx) + Py * (Valley.Y - Cy) < 0) {
        Px = -Px;
        Py = -Py;
      }
      // The facet tilts sideways (Px, Py) and a little outwards along the ridge.
      const float Nx = 0.8f * Px + 0.35f * Rx, Ny = 0.8f * Py + 0.35f * Ry;
      const float Lit = Saturate(0.5f + 0.62f * (Nx * Lx + Ny * Ly));
      const TRgb Col = Lit > 0.5f ? Mix(Mid, Light, (Lit - 0.5f) * 2) : Mix(Dark, Mid, Lit * 2);
      S.FillPolygon({Centre, Valley, Tip}, Solid(Col));
    }
  }
  if (Shine > 0.05f) {
    // A glint: a soft bright centre and a thin four-pointed sparkle.
    S.Glow(Cx, Cy, Outer * 0.5f, Rgb(255, 255, 240), 0.8f * Shine);
    const float Arm = Outer * (0.45f + 0.4f * Shine);
    S.Fill(
        Cx - Arm, Cy - Arm, Cx + Arm, Cy + Arm,
        [=](float X, float Y) {
          const float Dx = std::fabs(X - Cx), Dy = std::fabs(Y - Cy);
          return (Dx < 0.45f && Dy < Arm) || (Dy < 0.45f && Dx < Arm * 0.8f);
        },
        [=](float X, float Y) {
          const float D = std::max(std::fabs(X - Cx), std::fabs(Y - Cy)) / Arm;
          return TPaint{Rgb(255, 255, 245), Shine * (1 - D)};
        });
  }
}

void PaintSparkle(TArtSurface& S, float X, float Y, float Level) {
  if (Level <= 0.02f) return;
  const float Arm = 0.8f + 1.8f * Level;
  S.Fill(
      X - Arm, Y - Arm, X + Arm, Y + Arm,
      [=](float Px, float Py) {
        const float Dx = std::fabs(Px - X), Dy = std::fabs(Py - Y);
        return (Dx < 0.4f && Dy < Arm) || (Dy < 0.4f && Dx < Arm);
      },
      [=](float Px, float Py) {
        const float D = std::max(std::fabs(Px - X), std::fabs(Py - Y)) / Arm;
        return TPaint{Rgb(255, 255, 255), Level * (1 - 0.8f * D)};
      });
}

void PaintFlake(TArtSurface& S, float X, float Y, float R, float Alpha) {
  if (Alpha <= 0.01f) return;
  S.FillCircle(X, Y, R, [=](float Px, float Py) {
    const float D = std::sqrt((Px - X) * (Px - X) + (Py - Y) * (Py - Y)) / R;
    return TPaint{Mix(Rgb(255, 255, 255), Rgb(206, 222, 255), D), Alpha * (1 - 0.55f * D * D)};
  });
}

std::vector<TPointF> SpiralFront(const TSpiral& Sp, float Step,
                                 const std::function<float(float)>& HalfWidthAt,
                                 std::vector<float>* Facing) {
  std::vector<TPointF> Out;
  const float Total = 2 * Pi * Sp.Turns;
  float Theta = 0;
  float LastX = 1e9f, LastY = 1e9f;
  while (Theta <= Total) {
    const float Y = Sp.Y0 + (Sp.Y1 - Sp.Y0) * Theta / Total;
    const float A = Theta + Sp.Phase;
    const float F = std::cos(A);
    const float X = Sp.Cx + HalfWidthAt(Y) * std::sin(A);
    if (F > 0.05f) {
      const float D = std::sqrt((X - LastX) * (X - LastX) + (Y - LastY) * (Y - LastY));
      if (D >= Step) {
        Out.push_back({X, Y});
        if (Facing) Facing->push_back(F);
        LastX = X;
        LastY = Y;
      }
    } else {
      LastX = LastY = 1e9f;
    }
    Theta += 0.01f;
  }
  return Out;
}

void PaintRibbon(TArtSurface& S, const TSpiral& Sp, const std::function<float(float)>& HalfWidthAt,
                 TRgb Color) {
  std::vector<float> Facing;
  const std::vector<TPointF> P = SpiralFront(Sp, 0.5f, HalfWidthAt, &Facing);
  // Split into the visible runs (the ribbon passes behind the tree between them) and drop
  // runs too short to read as ribbon.
  std::vector<std::pair<size_t, size_t>> Runs;
  size_t Start = 0;
  for (size_t I = 1; I <= P.size(); ++I) {
    if (I < P.size() && std::hypot(P[I].X - P[I - 1].X, P[I].Y - P[I - 1].Y) <= 2.0f) continue;
    if (I - Start >= 12) Runs.emplace_back(Start, I);
    Start = I;
  }
  for (int Pass = 0; Pass < 2; ++Pass)
    for (const auto& [B, E] : Runs)
      for (size_t I = B; I + 1 < E; ++I) {
        const float F = Facing[I];
        const float Scale01 = 0.55f + 0.45f * F;
        if (Pass == 0) {
          const TRgb Body = Mix(Scale(Color, 0.45f), Color, F);
          S.Stroke(P[I], P[I + 1], Sp.Width * Scale01 * 0.5f, Solid(Body));
        } else {
          // A highlight along the upper edge.
          const float Off = -Sp.Width * 0.22f * Scale01;
          const TRgb Hi = Mix(Color, Rgb(255, 240, 230), 0.55f * F);
          S.Stroke({P[I].X, P[I].Y + Off}, {P[I + 1].X, P[I + 1].Y + Off}, Sp.Width * 0.14f,
                   Solid(Hi));
        }
      }
}

void PaintBeads(TArtSurface& S, const TSpiral& Sp, const std::function<float(float)>& HalfWidthAt,
                TRgb Color) {
  std::vector<float> Facing;
  const std::vector<TPointF> P = SpiralFront(Sp, Sp.Width * 1.6f, HalfWidthAt, &Facing);
  for (size_t I = 0; I < P.size(); ++I)
    PaintBauble(S, P[I].X, P[I].Y, Sp.Width * 0.5f, Mix(Scale(Color, 0.6f), Color, Facing[I]));
}

void PaintBow(TArtSurface& S, float Cx, float Cy, float Size, TRgb Color) {
  const TRgb Dark = Scale(Color, 0.5f);
  const TRgb Light = Mix(Color, Rgb(255, 236, 230), 0.45f);
  for (int Side = -1; Side <= 1; Side += 2) {
    const float F = static_cast<float>(Side);
    // Tail: a strip hanging down and outwards, cut in a notch at its end.
    const std::vector<TPointF> Tail{{Cx - 0.4f * F, Cy},
                                    {Cx + 0.5f * F * Size, Cy + 1.3f * Size},
                                    {Cx + 0.25f * F * Size, Cy + 1.2f * Size},
                                    {Cx + 0.05f * F * Size, Cy + 1.45f * Size},
                                    {Cx - 0.35f * F * Size, Cy + 0.2f * Size}};
    S.FillPolygon(Tail, [=](float X, float) {
      return TPaint{Mix(Color, Dark, std::clamp((X - Cx) / Size * 0.8f + 0.3f, 0.0f, 1.0f)), 1};
    });
    // Loop: an ellipse with a darker inside where it folds.
    const float Lx = Cx + F * Size * 0.55f, Ly = Cy - Size * 0.12f;
    const float Rx = Size * 0.6f, Ry = Size * 0.4f;
    S.FillEllipse(Lx, Ly, Rx, Ry, [=](float X, float Y) {
      const float U = (X - Lx) / Rx, V = (Y - Ly) / Ry;
      const float D = std::sqrt(U * U + V * V);
      const float Fold = Saturate(1 - std::hypot(U - 0.25f * F, V + 0.1f) * 1.8f);
      TRgb C = Mix(Light, Color, Saturate(0.4f + 0.5f * V + 0.3f * D));
      C = Mix(C, Dark, Fold * 0.8f);
      return TPaint{C, 1};
    });
  }
  S.FillCircle(Cx, Cy, Size * 0.24f, [=](float X, float Y) {
    const float T = Saturate(0.5f + ((X - Cx) + (Y - Cy)) / Size);
    return TPaint{Mix(Light, Dark, T), 1};
  });
}

void PaintTrunk(TArtSurface& S, float Cx, float Top, float Bottom, float HalfWidth) {
  S.Fill(
      Cx - HalfWidth, Top, Cx + HalfWidth, Bottom,
      [=](float X, float Y) {
        const float Flare = HalfWidth * (1 + 0.25f * Saturate((Y - Top) / (Bottom - Top)));
        return std::fabs(X - Cx) <= Flare && Y >= Top && Y <= Bottom;
      },
      [=](float X, float Y) {
        const float U = (X - Cx) / HalfWidth;
        float V = 0.75f - 0.45f * U;
        V += 0.08f * std::sin(X * 3.1f + std::sin(Y * 0.7f) * 1.5f);
        return TPaint{Mix(Rgb(44, 26, 16), Rgb(124, 82, 50), Saturate(V)), 1};
      });
}

}  // namespace orn::artgen

#include "tools/artgen_paint.h"

#include <algorithm>
#include <cmath>

namespace orn::artgen {

TRgb Mix(TRgb A, TRgb B, float T) {
  return TRgb{A.R + (B.R - A.R) * T, A.G + (B.G - A.G) * T, A.B + (B.B - A.B) * T};
}

TRgb Scale(TRgb A, float F) {
  return TRgb{A.R * F, A.G * F, A.B * F};
}

TRgb Clamp(TRgb A) {
  return TRgb{std::clamp(A.R, 0.0f, 255.0f), std::clamp(A.G, 0.0f, 255.0f),
              std::clamp(A.B, 0.0f, 255.0f)};
}

uint32_t TArtRandom::Next() {
  FState ^= FState >> 12;
  FState ^= FState << 25;
  FState ^= FState >> 27;
  return static_cast<uint32_t>((FState * 0x2545F4914F6CDD1Dull) >> 32);
}

float TArtRandom::Unit() {
  return static_cast<float>(Next() >> 8) / 16777216.0f;
}

TArtSurface::TArtSurface(int Width, int Height, int Factor)
    : FWidth(Width),
      FHeight(Height),
      FFactor(Factor),
      FSw(Width * Factor),
      FSh(Height * Factor),
      FR(static_cast<size_t>(FSw) * FSh),
      FG(FR.size()),
      FB(FR.size()),
      FA(FR.size()) {}

void TArtSurface::Fill(float X0, float Y0, float X1, float Y1, const TInside& Inside,
                       const TShader& Shader) {
  const float F = static_cast<float>(FFactor);
  const int I0 = std::max(0, static_cast<int>(std::floor(X0 * F)));
  const int J0 = std::max(0, static_cast<int>(std::floor(Y0 * F)));
  const int I1 = std::min(FSw, static_cast<int>(std::ceil(X1 * F)) + 1);
  const int J1 = std::min(FSh, static_cast<int>(std::ceil(Y1 * F)) + 1);
  for (int J = J0; J < J1; ++J) {
    const float Y = (static_cast<float>(J) + 0.5f) / F;
    for (int I = I0; I < I1; ++I) {
      const float X = (static_cast<float>(I) + 0.5f) / F;
      if (!Inside(X, Y)) continue;
      const TPaint P = Shader(X, Y);
      const float A = std::clamp(P.Alpha, 0.0f, 1.0f);
      if (A <= 0) continue;
      const TRgb C = Clamp(P.Color);
      const size_t K = static_cast<size_t>(J) * FSw + I;
      FR[K] = C.R * A + FR[K] * (1 - A);
      FG[K] = C.G * A + FG[K] * (1 - A);
      FB[K] = C.B * A + FB[K] * (1 - A);
      FA[K] = A + FA[K] * (1 - A);
    }
  }
}

void TArtSurface::FillCircle(float Cx, float Cy, float R, const TShader& Shader) {
  FillEllipse(Cx, Cy, R, R, Shader);
}

void TArtSurface::FillEllipse(float Cx, float Cy, float Rx, float Ry, const TShader& Shader) {
  Fill(
      Cx - Rx, Cy - Ry, Cx + Rx, Cy + Ry,
      [=](float X, float Y) {
        const float Dx = (X - Cx) / Rx;
        const float Dy = (Y - Cy) / Ry;
        return Dx * Dx + Dy * Dy <= 1.0f;
      },
      Shader);
}

bool InsidePolygon(const std::vector<TPointF>& Points, float X, float Y) {
  bool In = false;
  const size_t N = Points.size();
  for (size_t I = 0, J = N - 1; I < N; J = I++) {
    const TPointF& A = Points[I];
    const TPointF& B = Points[J];
    if ((A.Y > Y) != (B.Y > Y)) {
      const float Xc = A.X + (Y - A.Y) * (B.X - A.X) / (B.Y - A.Y);
      if (X < Xc) In = !In;
    }
  }
  return In;
}

void TArtSurface::FillPolygon(const std::vector<TPointF>& Points, const TShader& Shader) {
  if (Points.size() < 3) return;
  float X0 = Points[0].X, X1 = X0, Y0 = Points[0].Y, Y1 = Y0;
  for (const TPointF& P : Points) {
    X0 = std::min(X0, P.X);
    X1 = std::max(X1, P.X);
    Y0 = std::min(Y0, P.Y);
    Y1 = std::max(Y1, P.Y);
  }
  Fill(
      X0, Y0, X1, Y1, [&Points](float X, float Y) { return InsidePolygon(Points, X, Y); }, Shader);
}

void TArtSurface::Glow(float Cx, float Cy, float R, TRgb Color, float Peak) {
  FillCircle(Cx, Cy, R, [=](float X, float Y) {
    const float D = std::sqrt((X - Cx) * (X - Cx) + (Y - Cy) * (Y - Cy)) / R;
    const float T = std::max(0.0f, 1.0f - D);
    return TPaint{Color, Peak * T * T};
  });
}

void TArtSurface::Stroke(TPointF A, TPointF B, float HalfWidth, const TShader& Shader) {
  const float Dx = B.X - A.X;
  const float Dy = B.Y - A.Y;
  const float Len2 = std::max(Dx * Dx + Dy * Dy, 1e-6f);
  Fill(
      std::min(A.X, B.X) - HalfWidth, std::min(A.Y, B.Y) - HalfWidth,
      std::max(A.X, B.X) + HalfWidth, std::max(A.Y, B.Y) + HalfWidth,
      [=](float X, float Y) {
        const float T = std::clamp(((X - A.X) * Dx + (Y - A.Y) * Dy) / Len2, 0.0f, 1.0f);
        const float Px = A.X + T * Dx - X;
        const float Py = A.Y + T * Dy - Y;
        return Px * Px + Py * Py <= HalfWidth * HalfWidth;
      },
      Shader);
}

TArtPicture TArtSurface::Resolve() const {
  TArtPicture P(FWidth, FHeight);
  const float N = static_cast<float>(FFactor * FFactor);
  for (int Y = 0; Y < FHeight; ++Y) {
    for (int X = 0; X < FWidth; ++X) {
      float R = 0, G = 0, B = 0, A = 0;
      for (int J = 0; J < FFactor; ++J) {
        const size_t Row = static_cast<size_t>(Y * FFactor + J) * FSw + X * FFactor;
        for (int I = 0; I < FFactor; ++I) {
          R += FR[Row + I];
          G += FG[Row + I];
          B += FB[Row + I];
          A += FA[Row + I];
        }
      }
      P.AlphaAt(X, Y) = A / N;
      P.At(X, Y) = A > 0 ? TRgb{R / A, G / A, B / A} : TRgb{};
    }
  }
  return P;
}

TShader Solid(TRgb Color, float Alpha) {
  return [=](float, float) { return TPaint{Color, Alpha}; };
}

}  // namespace orn::artgen

// Painting for the art generator: a supersampled RGBA surface with filled shapes whose colour
// comes from a shading function, reduced to an anti-aliased picture of the output size.
// Everything is deterministic: the same calls give the same pixels on every run.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace orn::artgen {

struct TRgb {
  float R = 0;
  float G = 0;
  float B = 0;
};

constexpr TRgb Rgb(int R, int G, int B) {
  return TRgb{static_cast<float>(R), static_cast<float>(G), static_cast<float>(B)};
}
TRgb Mix(TRgb A, TRgb B, float T);
TRgb Scale(TRgb A, float F);
TRgb Clamp(TRgb A);

struct TPointF {
  float X = 0;
  float Y = 0;
};

// A small deterministic random source (xorshift), independent of the standard library's
// distributions so that every platform draws the same numbers.
class TArtRandom {
 public:
  explicit TArtRandom(uint64_t Seed) : FState(Seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next();
  // Uniform in [0, 1).
  float Unit();
  // Uniform in [Lo, Hi).
  float Range(float Lo, float Hi) { return Lo + (Hi - Lo) * Unit(); }

 private:
  uint64_t FState;
};

// The output of painting: one pixel per output pixel, colour not premultiplied, Alpha the
// covered fraction of the pixel.
struct TArtPicture {
  int Width = 0;
  int Height = 0;
  std::vector<TRgb> Color;
  std::vector<float> Alpha;
  TArtPicture() = default;
  TArtPicture(int W, int H)
      : Width(W), Height(H), Color(static_cast<size_t>(W) * H), Alpha(static_cast<size_t>(W) * H) {}
  TRgb& At(int X, int Y) { return Color[static_cast<size_t>(Y) * Width + X]; }
  const TRgb& At(int X, int Y) const { return Color[static_cast<size_t>(Y) * Width + X]; }
  float& AlphaAt(int X, int Y) { return Alpha[static_cast<size_t>(Y) * Width + X]; }
  float AlphaAt(int X, int Y) const { return Alpha[static_cast<size_t>(Y) * Width + X]; }
};

// Colour and opacity of a shape at a point (output pixel units).
struct TPaint {
  TRgb Color;
  float Alpha = 1;
};
using TShader = std::function<TPaint(float X, float Y)>;
using TInside = std::function<bool(float X, float Y)>;

// A painting surface Width x Height output pixels, held at Factor x Factor samples a pixel.
// Coordinates are in output pixels; sample (i, j) of pixel (x, y) sits at
// (x + (i + 0.5) / Factor, y + (j + 0.5) / Factor).
class TArtSurface {
 public:
  TArtSurface(int Width, int Height, int Factor);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  // Paints every sample inside the box [X0, X1) x [Y0, Y1) for which Inside holds, with the
  // colour and opacity Shader gives there (source-over).
  void Fill(float X0, float Y0, float X1, float Y1, const TInside& Inside, const TShader& Shader);

  void FillCircle(float Cx, float Cy, float R, const TShader& Shader);
  void FillEllipse(float Cx, float Cy, float Rx, float Ry, const TShader& Shader);
  void FillPolygon(const std::vector<TPointF>& Points, const TShader& Shader);
  // A soft round glow: opacity Peak at the centre, falling to 0 at radius R.
  void Glow(float Cx, float Cy, float R, TRgb Color, float Peak);
  // A thick line from A to B with round ends.
  void Stroke(TPointF A, TPointF B, float HalfWidth, const TShader& Shader);

  // Reduces the samples to one pixel each.
  TArtPicture Resolve() const;

 private:
  int FWidth;
  int FHeight;
  int FFactor;
  int FSw;
  int FSh;
  std::vector<float> FR, FG, FB, FA;  // premultiplied colour and coverage per sample
};

TShader Solid(TRgb Color, float Alpha = 1);
bool InsidePolygon(const std::vector<TPointF>& Points, float X, float Y);

}  // namespace orn::artgen

// The three ornaments' designs and how each one's animation is laid out.
#pragma once

#include <functional>
#include <string>

#include "tools/artgen_output.h"
#include "tools/artgen_paint.h"

namespace orn::artgen {

struct TProductArt {
  std::string Name;
  int Width = 0;
  int Height = 0;
  int FrameCount = 0;
  int MaskBits = 1;
  TAnimationLayout Layout;
  // Paints what stays the same in every frame (the tree and everything on it).
  std::function<void(TArtSurface&)> PaintStatic;
  // Paints what moves in one frame (lights, star, snow) over the still picture.
  std::function<void(TArtSurface&, int Frame)> PaintFrame;
};

// The design of a product by its name (fernlight, velmora, sarnith); for any other name
// the result's Name is empty.
TProductArt MakeProduct(const std::string& Name);

// The application icon at Size x Size pixels.
TArtPicture PaintIcon(int Size);

}  // namespace orn::artgen

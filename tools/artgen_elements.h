// The pieces the trees are made of: foliage tiers, baubles, lights, the star, ribbons,
// snowflakes. Each is painted with its own shading, lit from the upper left.
#pragma once

#include <functional>
#include <vector>

#include "tools/artgen_paint.h"

namespace orn::artgen {

// Colours of a foliage tier, from deepest shadow to the brightest needle tips.
struct TFoliageColors {
  TRgb Deep;
  TRgb Mid;
  TRgb Light;
  TRgb Tip;
};

// One tier of branches: an apex at (Cx, Top), hanging tips along Bottom, HalfWidth at the
// bottom. Lobes is the number of hanging tips; Droop how far (pixels) the notches between
// tips rise above Bottom; Round > 0 makes the sides bulge outwards. Seed varies the needles.
struct TTier {
  float Cx = 0;
  float Top = 0;
  float Bottom = 0;
  float HalfWidth = 0;
  int Lobes = 5;
  float Droop = 4;
  float Round = 0;
  unsigned Seed = 1;
  bool Needles = true;  // off for tiny pictures, where single needles are only noise
};

// The tier's half width at height Y (0 above or below it).
float TierHalfWidthAtY(const TTier& Tier, float Y);
// The lowest point of the tier's hanging edge at X.
float TierEdgeAt(const TTier& Tier, float X);
// Whether a point lies inside the tier.
bool InsideTier(const TTier& Tier, float X, float Y);
// Paints a tier: shaded body, needle strokes, lighter tips. SnowCover (0..1) lays snow on
// the upper side of the hanging branches.
void PaintTier(TArtSurface& S, const TTier& Tier, const TFoliageColors& Colors,
               float SnowCover = 0);

// A shiny ball of radius R with a small cap and hook on top (when it is large enough).
void PaintBauble(TArtSurface& S, float Cx, float Cy, float R, TRgb Color);

// A small light bulb: Level 0 is a dim bulb, 1 a bright one with a halo. Size scales it.
void PaintLight(TArtSurface& S, float Cx, float Cy, TRgb Color, float Level, float Size = 1);

// A five-pointed bevelled gold star; Shine (0..1) brightens it and lights its centre.
void PaintStar(TArtSurface& S, float Cx, float Cy, float Outer, float Shine);

// A glint of light on snow or glass: a bright point with four short rays; Level 0..1.
void PaintSparkle(TArtSurface& S, float X, float Y, float Level);

// A snowflake: a soft white dot of radius R.
void PaintFlake(TArtSurface& S, float X, float Y, float R, float Alpha);

// A ribbon or garland around a cone seen from the front: it winds from (Y0) to (Y1) making
// Turns turns; HalfWidthAt gives the cone's half width at a height. Only the front side is
// painted, shaded by how much it faces the viewer. Phase shifts where the ribbon starts.
struct TSpiral {
  float Cx = 0;
  float Y0 = 0;
  float Y1 = 0;
  float Turns = 2;
  float Phase = 0;
  float Width = 2;
};
// Points on the front half of the spiral, about Step pixels apart, with how much each
// faces the viewer (0..1) in Facing.
std::vector<TPointF> SpiralFront(const TSpiral& Spiral, float Step,
                                 const std::function<float(float)>& HalfWidthAt,
                                 std::vector<float>* Facing = nullptr);
void PaintRibbon(TArtSurface& S, const TSpiral& Spiral,
                 const std::function<float(float)>& HalfWidthAt, TRgb Color);
// A garland of beads (a string of small gold or silver dots).
void PaintBeads(TArtSurface& S, const TSpiral& Spiral,
                const std::function<float(float)>& HalfWidthAt, TRgb Color);

// A satin bow tied at (Cx, Cy): two loops, two hanging tails and a knot; Size is the width
// of one loop.
void PaintBow(TArtSurface& S, float Cx, float Cy, float Size, TRgb Color);

// A trunk from Top to Bottom of half width HalfWidth.
void PaintTrunk(TArtSurface& S, float Cx, float Top, float Bottom, float HalfWidth);

}  // namespace orn::artgen

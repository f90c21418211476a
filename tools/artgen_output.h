// Turning painted pictures into the files the products carry: a 256-colour palette for all
// frames of a picture, the animated GIF (through the codec's model and writer), the window
// mask BMP and the application icon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gif/gif_image.h"
#include "tools/artgen_paint.h"

namespace orn::artgen {

// Which pixels of a picture belong to the ornament (true) and which are cut away.
struct TArtMask {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Keep;
  bool At(int X, int Y) const { return Keep[static_cast<size_t>(Y) * Width + X] != 0; }
};

// Cut-away pieces inside the outline smaller than this are filled.
constexpr int MinHoleSize = 16;

// The mask of a picture: pixels at least half covered. Only the largest 4-connected piece
// is kept and pin-holes in it are filled, so the window has one outline, no stray islands
// and no bitten spots.
TArtMask MaskFromCoverage(const TArtPicture& Picture);

// Gives kept pixels that the painting barely covers (filled pin-holes, outline corners) the
// colour of their covered neighbours.
void FillThinPixels(TArtPicture& Picture, const TArtMask& Mask);

// How a product's animation is laid out in the file.
struct TAnimationLayout {
  int DelayMs = 100;
  bool Transparent = false;  // index 255 is the transparent colour of every frame
  // Frames paint the whole rectangle, background included (entry 0 is the background
  // colour); otherwise the pixels outside the mask are transparent.
  bool PaintsAll = false;
  int BackgroundIndex = 0;
  bool Interlaced = false;
  TRgb Background;                     // the colour outside the mask when PaintsAll is set
  std::vector<TGIFDisposal> Disposal;  // one per frame
  std::vector<bool> FullCover;         // frames that cover the whole picture
};

// A 256-entry palette for the kept pixels of all pictures: entry 0 holds the background
// colour when frames paint everything, entry 255 the transparent colour of transparent
// pictures; the
// others are chosen for the pictures' colours. All entries are distinct.
TGIFPaletteRec BuildPalette(const std::vector<TArtPicture>& Pictures, const TArtMask& Mask,
                            const TAnimationLayout& Layout);

// The colour index of every pixel of Picture: kept pixels take their nearest palette colour,
// the others the background index 0 or (when frames do not paint everything) the
// transparent index 255.
std::vector<uint8_t> IndexPicture(const TArtPicture& Picture, const TArtMask& Mask,
                                  const TGIFPaletteRec& Palette, const TAnimationLayout& Layout);

// Builds the animated GIF from the full picture of every frame (indices, row by row): full
// frames where the layout says so, else the rectangle of pixels that change, with unchanged
// pixels transparent in transparent pictures. Returns the file's bytes.
std::vector<uint8_t> BuildGIF(int Width, int Height,
                              const std::vector<std::vector<uint8_t>>& States,
                              const TGIFPaletteRec& Palette, const TAnimationLayout& Layout);

// The mask as a BMP file with a two-entry colour table (black kept, white cut away), at 1 or
// 4 bits per pixel.
std::vector<uint8_t> BuildMaskBMP(const TArtMask& Mask, int BitsPerPixel);

// An icon file holding each picture as a 24-bit image with a transparency mask taken from
// its coverage.
std::vector<uint8_t> BuildIcon(const std::vector<TArtPicture>& Pictures);

void WriteFile(const std::string& FileName, const std::vector<uint8_t>& Bytes);

}  // namespace orn::artgen

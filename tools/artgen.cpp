// orn_artgen: draws one product's art and writes it to a directory.
//   orn_artgen PRODUCT OUTDIR        (PRODUCT: fernlight, velmora or sarnith)
// Writes picture.gif (the animation), mask.bmp (the window outline), icon.ico (16 x 16 and
// 32 x 32 at 24 bits) and icon16.png / icon32.png. The output depends on nothing but the
// product: every run writes the same bytes.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/artgen_output.h"
#include "tools/artgen_products.h"
#include "tools/png_io.h"

using namespace orn::artgen;

namespace {

orn::tools::TRgbaImage ToRgba(const TArtPicture& P) {
  orn::tools::TRgbaImage Img;
  Img.Width = P.Width;
  Img.Height = P.Height;
  Img.Pixels.assign(static_cast<size_t>(P.Width) * P.Height * 4, 0);
  for (int Y = 0; Y < P.Height; ++Y)
    for (int X = 0; X < P.Width; ++X) {
      if (P.AlphaAt(X, Y) < 0.5f) continue;  // the same outline as the icon's mask
      uint8_t* Px = Img.Row(Y) + X * 4;
      const TRgb C = Clamp(P.At(X, Y));
      Px[0] = static_cast<uint8_t>(C.R + 0.5f);
      Px[1] = static_cast<uint8_t>(C.G + 0.5f);
      Px[2] = static_cast<uint8_t>(C.B + 0.5f);
      Px[3] = 255;
    }
  return Img;
}

void Generate(const TProductArt& Art, const std::string& Dir) {
  // The still picture gives the outline; every frame paints its moving parts over a copy.
  TArtSurface Still(Art.Width, Art.Height, 4);
  Art.PaintStatic(Still);
  const TArtMask Mask = MaskFromCoverage(Still.Resolve());

  std::vector<TArtPicture> Frames;
  for (int F = 0; F < Art.FrameCount; ++F) {
    TArtSurface S = Still;
    Art.PaintFrame(S, F);
    Frames.push_back(S.Resolve());
    FillThinPixels(Frames.back(), Mask);
  }
  const orn::TGIFPaletteRec Palette = BuildPalette(Frames, Mask, Art.Layout);
  std::vector<std::vector<uint8_t>> States;
  for (const TArtPicture& P : Frames) States.push_back(IndexPicture(P, Mask, Palette, Art.Layout));

  std::filesystem::create_directories(Dir);
  const std::filesystem::path D(Dir);
  WriteFile((D / "picture.gif").string(),
            BuildGIF(Art.Width, Art.Height, States, Palette, Art.Layout));
  WriteFile((D / "mask.bmp").string(), BuildMaskBMP(Mask, Art.MaskBits));

  const TArtPicture Icon16 = PaintIcon(16);
  const TArtPicture Icon32 = PaintIcon(32);
  WriteFile((D / "icon.ico").string(), BuildIcon({Icon16, Icon32}));
  orn::tools::WritePng((D / "icon16.png").string(), ToRgba(Icon16), true);
  orn::tools::WritePng((D / "icon32.png").string(), ToRgba(Icon32), true);
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 3) {
    std::fprintf(stderr, "usage: orn_artgen fernlight|velmora|sarnith OUTDIR\n");
    return 2;
  }
  const TProductArt Art = MakeProduct(Argv[1]);
  if (Art.Name.empty()) {
    std::fprintf(stderr, "orn_artgen: unknown product '%s'\n", Argv[1]);
    return 2;
  }
  try {
    Generate(Art, Argv[2]);
  } catch (const std::exception& E) {
    std::fprintf(stderr, "orn_artgen: %s\n", E.what());
    return 1;
  }
  return 0;
}

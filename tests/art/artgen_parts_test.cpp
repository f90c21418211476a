// The generator's parts on small fixtures: the mask made from painted coverage, the palette
// with its reserved entries, and the frames built from full pictures.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "art/art_frames.h"
#include "tools/artgen_output.h"

using namespace orn::artgen;
using orn::TGIFDisposal;
using orn::testing::DecodeFrames;
using orn::testing::ParseGIF;
using orn::testing::TFrame;
using orn::testing::TParsedGIF;

namespace {

// A picture whose coverage is drawn with characters: '#' covered, '.' empty, 'h' half
// covered, 'l' a little less than half.
TArtPicture Coverage(const std::vector<std::string>& Rows) {
  TArtPicture P(static_cast<int>(Rows[0].size()), static_cast<int>(Rows.size()));
  for (int Y = 0; Y < P.Height; ++Y)
    for (int X = 0; X < P.Width; ++X) {
      const char C = Rows[static_cast<size_t>(Y)][static_cast<size_t>(X)];
      P.AlphaAt(X, Y) = C == '#' ? 1.0f : C == 'h' ? 0.5f : C == 'l' ? 0.49f : 0.0f;
      P.At(X, Y) = Rgb(0, 128, 0);
    }
  return P;
}

std::vector<std::string> Draw(const TArtMask& M) {
  std::vector<std::string> Rows;
  for (int Y = 0; Y < M.Height; ++Y) {
    std::string R;
    for (int X = 0; X < M.Width; ++X) R += M.At(X, Y) ? '#' : '.';
    Rows.push_back(R);
  }
  return Rows;
}

TEST(ArtMask, KeepsOnePieceFillsPinholesAndKeepsRealGaps) {
  // An island of two pixels at the right edge, a one-pixel hole, a 4 x 4 gap, and a half
  // and a less-than-half covered pixel below the body.
  const TArtMask M = MaskFromCoverage(Coverage({
      "................",
      ".##########.....",
      ".##########...##",
      ".#.########.....",
      ".##########.....",
      ".##....####.....",
      ".##....####.....",
      ".##....####.....",
      ".##....####.....",
      ".##########h....",
      ".##########l....",
      "................",
  }));
  EXPECT_EQ(Draw(M), (std::vector<std::string>{
                         "................",
                         ".##########.....",
                         ".##########.....",
                         ".##########.....",
                         ".##########.....",
                         ".##....####.....",
                         ".##....####.....",
                         ".##....####.....",
                         ".##....####.....",
                         ".###########....",
                         ".##########.....",
                         "................",
                     }));
}

TEST(ArtMask, HoleJustBelowTheLimitIsFilled) {
  // A 5 x 3 gap (15 pixels) is a pin-hole still; a 4 x 4 one (16) is not (previous test).
  const TArtMask M = MaskFromCoverage(Coverage({
      "#######",
      "#.....#",
      "#.....#",
      "#.....#",
      "#######",
  }));
  for (int Y = 0; Y < M.Height; ++Y)
    for (int X = 0; X < M.Width; ++X) EXPECT_TRUE(M.At(X, Y)) << X << "," << Y;
}

TAnimationLayout Layout(bool Transparent, bool PaintsAll, int Frames) {
  TAnimationLayout L;
  L.DelayMs = 100;
  L.Transparent = Transparent;
  L.PaintsAll = PaintsAll;
  L.BackgroundIndex = PaintsAll ? 0 : 255;
  L.Background = Rgb(10, 20, 30);
  L.Disposal.assign(static_cast<size_t>(Frames), TGIFDisposal::gdLeave);
  L.FullCover.assign(static_cast<size_t>(Frames), false);
  L.FullCover[0] = true;
  return L;
}

TEST(ArtPalette, ReservedEntriesStayUniqueAndUnusedByThePainting) {
  // The painting uses the transparent colour itself and the background colour: the
  // palette must still find each reserved colour at its own index only.
  TArtPicture P(4, 4);
  const TRgb Colors[4] = {Rgb(255, 0, 255), Rgb(10, 20, 30), Rgb(200, 30, 40), Rgb(20, 120, 40)};
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X) {
      P.At(X, Y) = Colors[(X + Y) % 4];
      P.AlphaAt(X, Y) = 1;
    }
  TArtMask Mask{4, 4, std::vector<uint8_t>(16, 1)};
  Mask.Keep[0] = 0;  // one cut-away pixel

  for (const auto& [Transparent, PaintsAll] :
       {std::tuple{true, false}, std::tuple{false, true}, std::tuple{true, true}}) {
    SCOPED_TRACE(std::string(Transparent ? "transparent" : "opaque") +
                 (PaintsAll ? ", paints all" : ""));
    const TAnimationLayout L = Layout(Transparent, PaintsAll, 1);
    const orn::TGIFPaletteRec Pal = BuildPalette({P}, Mask, L);
    ASSERT_EQ(Pal.EntryCount, 256);
    std::set<std::tuple<int, int, int>> Seen;
    for (const auto& E : Pal.Entries) Seen.insert({E.Red, E.Green, E.Blue});
    EXPECT_EQ(Seen.size(), 256u) << "entries are distinct";
    if (Transparent) {
      EXPECT_EQ(Pal.Entries[255].Red, 255);
      EXPECT_EQ(Pal.Entries[255].Green, 0);
      EXPECT_EQ(Pal.Entries[255].Blue, 255);
    }
    if (PaintsAll) {
      EXPECT_EQ(Pal.Entries[0].Red, 10);
      EXPECT_EQ(Pal.Entries[0].Green, 20);
      EXPECT_EQ(Pal.Entries[0].Blue, 30);
    }
    const std::vector<uint8_t> Index = IndexPicture(P, Mask, Pal, L);
    EXPECT_EQ(Index[0], PaintsAll ? 0 : 255) << "the cut-away pixel";
    for (size_t I = 1; I < Index.size(); ++I) {
      const bool Reserved = (Transparent && Index[I] == 255) || (PaintsAll && Index[I] == 0);
      EXPECT_FALSE(Reserved) << "pixel " << I << " took a reserved entry";
      // With only four colours painted, each has its own entry; one that equals a reserved
      // colour is moved a few steps away from it.
      const auto& E = Pal.Entries[Index[I]];
      const TRgb C = P.Color[I];
      EXPECT_NEAR(E.Red, C.R, 3) << I;
      EXPECT_NEAR(E.Green, C.G, 3) << I;
      EXPECT_NEAR(E.Blue, C.B, 3) << I;
    }
  }
}

orn::TGIFPaletteRec GreyPalette() {
  orn::TGIFPaletteRec P;
  P.EntryCount = 256;
  for (int I = 0; I < 255; ++I)
    P.Entries[I] = {static_cast<uint8_t>(I), static_cast<uint8_t>(I), static_cast<uint8_t>(I)};
  P.Entries[255] = {255, 0, 255};
  return P;
}

TEST(ArtFrames, PartialFrameIsTheRectangleOfChangesWithTheRestTransparent) {
  const int W = 6, H = 5;
  std::vector<uint8_t> A(W * H, 7);
  std::vector<uint8_t> B = A;
  B[1 * W + 2] = 9;  // (2, 1)
  B[3 * W + 4] = 3;  // (4, 3)
  for (bool Interlaced : {false, true}) {
    SCOPED_TRACE(Interlaced ? "interlaced" : "progressive");
    TAnimationLayout L = Layout(true, false, 2);
    L.Interlaced = Interlaced;
    const TParsedGIF G = ParseGIF(BuildGIF(W, H, {A, B}, GreyPalette(), L));
    ASSERT_EQ(G.Error, "");
    const std::vector<TFrame> F = DecodeFrames(G);
    ASSERT_EQ(F.size(), 2u);
    EXPECT_EQ(F[0].Pixels, A);
    EXPECT_EQ(std::tie(F[1].Left, F[1].Top, F[1].Width, F[1].Height), std::make_tuple(2, 1, 3, 3));
    EXPECT_EQ(F[1].Pixels, (std::vector<uint8_t>{9, 255, 255, 255, 255, 255, 255, 255, 3}));
    EXPECT_EQ((F[1].Packed & 0x40) != 0, Interlaced);
    EXPECT_EQ(F[1].Delay, 10);
    EXPECT_TRUE(F[1].HasKey);
  }
}

TEST(ArtFrames, OpaquePartialFrameRepeatsUnchangedPixels) {
  const int W = 4, H = 3;
  std::vector<uint8_t> A{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<uint8_t> B = A;
  B[1] = 40;   // (1, 0)
  B[10] = 41;  // (2, 2)
  const TParsedGIF G = ParseGIF(BuildGIF(W, H, {A, B}, GreyPalette(), Layout(false, true, 2)));
  ASSERT_EQ(G.Error, "");
  const std::vector<TFrame> F = DecodeFrames(G);
  ASSERT_EQ(F.size(), 2u);
  EXPECT_FALSE(F[1].HasKey);
  EXPECT_EQ(std::tie(F[1].Left, F[1].Top, F[1].Width, F[1].Height), std::make_tuple(1, 0, 2, 3));
  EXPECT_EQ(F[1].Pixels, (std::vector<uint8_t>{40, 3, 6, 7, 10, 41}));
}

TEST(ArtFrames, LayoutsThatCannotBeWrittenAreRefused) {
  const int W = 4, H = 4;
  const std::vector<uint8_t> A(W * H, 1), AllNew(W * H, 2);
  std::vector<uint8_t> Small = A;
  Small[5] = 3;
  std::vector<uint8_t> Cleared = A;
  Cleared[5] = 255;

  TAnimationLayout AfterRestore = Layout(true, false, 2);
  AfterRestore.Disposal[0] = TGIFDisposal::gdRestoreBackground;
  TAnimationLayout Plain = Layout(true, false, 2);
  TAnimationLayout NoFirstCover = Layout(true, false, 2);
  NoFirstCover.FullCover[0] = false;
  TAnimationLayout Short = Layout(true, false, 1);

  const struct {
    const char* Name;
    TAnimationLayout L;
    std::vector<uint8_t> Second;
  } Cases[] = {
      {"partial frame after a restored background", AfterRestore, Small},
      {"partial frame changing the whole picture", Plain, AllNew},
      {"partial frame clearing a pixel", Plain, Cleared},
      {"first frame not covering the picture", NoFirstCover, Small},
      {"layout for fewer frames", Short, Small},
  };
  for (const auto& C : Cases)
    EXPECT_THROW(BuildGIF(W, H, {A, C.Second}, GreyPalette(), C.L), std::logic_error) << C.Name;
  EXPECT_NO_THROW(BuildGIF(W, H, {A, Small}, GreyPalette(), Plain));
}

}  // namespace

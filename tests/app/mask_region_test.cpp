// The window region cut from a mask bitmap.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "ornament_fixture.h"

namespace orn::apptest {
namespace {

// Every pixel of the mask is in the region exactly when it is not pure white, and nothing
// outside the mask is.
void ExpectRegionMatchesMask(TBitmap& Mask, HRGN Region) {
  const int W = Mask.Width(), H = Mask.Height();
  for (int Y = -1; Y <= H; ++Y)
    for (int X = -1; X <= W; ++X) {
      const bool Inside =
          X >= 0 && Y >= 0 && X < W && Y < H && Mask.Canvas().Pixels(X, Y) != TColor(0xFFFFFF);
      ASSERT_EQ(PtInRegion(Region, X, Y), Inside) << X << "," << Y;
    }
}

TEST(MaskRegion, EdgeCases) {
  struct Case {
    const char* Name;
    int W, H;
    std::function<TColor(int, int)> Pixel;
    size_t Rects;  // rectangles of the region
  };
  const Case Cases[] = {
      {"all white", 8, 5, [](int, int) { return TColor(0xFFFFFF); }, 0},
      {"no white", 8, 5, [](int, int) { return clBlack; }, 1},
      {"white row", 8, 5, [](int, int Y) { return Y == 2 ? TColor(0xFFFFFF) : clBlack; }, 2},
      {"edges", 8, 3,
       [](int X, int) { return X < 2 || X >= 6 ? TColor(0xFFFFFF) : TColor(0x123456); }, 1},
      {"near white", 4, 4, [](int X, int) { return X == 1 ? TColor(0xFEFEFE) : TColor(0xFFFFFF); },
       1},
      {"colour changes cost nothing", 6, 1,
       [](int X, int) { return TColor(0x010101 * static_cast<uint32_t>(X + 1)); }, 1},
  };
  for (const Case& C : Cases) {
    TBitmap Mask;
    Mask.SetPixelFormat(TPixelFormat::pf24bit);
    Mask.SetSize(C.W, C.H);
    for (int Y = 0; Y < C.H; ++Y)
      for (int X = 0; X < C.W; ++X) Mask.Canvas().SetPixels(X, Y, C.Pixel(X, Y));
    HRGN R = CreateMaskRegion(&Mask);
    SCOPED_TRACE(C.Name);
    ExpectRegionMatchesMask(Mask, R);
    EXPECT_EQ(GetRegionRects(R).size(), C.Rects);
    DeleteObject(R);
  }
}

TEST(MaskRegion, AnEmptyMaskGivesAnEmptyRegion) {
  for (auto [W, H] : {std::pair{0, 5}, std::pair{5, 0}}) {
    TBitmap Mask;
    Mask.SetSize(W, H);
    HRGN R = CreateMaskRegion(&Mask);
    TRect Box;
    GetRgnBox(R, Box);
    EXPECT_TRUE(GetRegionRects(R).empty());
    EXPECT_TRUE(Box.IsEmpty());
    DeleteObject(R);
  }
}

TEST(MaskRegion, MasksOfEveryProductFormatMatchPixelForPixel) {
  std::mt19937 Random(7);
  for (TPixelFormat F : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf24bit}) {
    // Random blobs: runs of every length, touching both edges.
    std::vector<bool> Keep(64 * 48);
    for (size_t I = 0; I < Keep.size(); ++I)
      Keep[I] = I > 0 && Random() % 5 == 0 ? !Keep[I - 1] : I > 0 && Keep[I - 1];
    auto Mask = MakeMask(64, 48, F, [&](int X, int Y) { return Keep[Y * 64 + X]; });
    HRGN R = CreateMaskRegion(Mask.get());
    ExpectRegionMatchesMask(*Mask, R);
    DeleteObject(R);
  }
}

TEST(MaskRegion, ALoadedTreeMaskIsReadAsStored) {
  // A tree of the largest product's size: a triangle of branches on a trunk.
  auto Mask = MakeMask(190, 225, TPixelFormat::pf1bit, [](int X, int Y) {
    return (Y < 200 && std::abs(X - 95) * 2 < Y) || (Y >= 200 && std::abs(X - 95) < 12);
  });
  const std::vector<uint8_t> File = BitmapFileBytes(*Mask);
  TBitmap Loaded;
  TMemoryStream S;
  S.WriteBuffer(File.data(), File.size());
  S.SetPosition(0);
  Loaded.LoadFromStream(S);
  const auto Start = std::chrono::steady_clock::now();
  HRGN R = CreateMaskRegion(&Loaded);
  const auto Us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - Start)
                      .count();
  std::printf("region of a 190 x 225 tree mask: %lld us, %zu rectangles\n",
              static_cast<long long>(Us), GetRegionRects(R).size());
  ExpectRegionMatchesMask(Loaded, R);
  EXPECT_TRUE(PtInRegion(R, 95, 1));
  EXPECT_FALSE(PtInRegion(R, 0, 0));
  EXPECT_TRUE(PtInRegion(R, 95, 224));
  DeleteObject(R);
}

}  // namespace
}  // namespace orn::apptest

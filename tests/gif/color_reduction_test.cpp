#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gif/color_reduction.h"
#include "gif/write_test_util.h"

using namespace orn;

namespace {

using TRGBTuple = std::tuple<int, int, int>;

// A 24-bit picture addressed by stored row (0 = bottom row) and column.
struct TPicture {
  int W, H;
  std::vector<uint8_t> Rows;
  TPicture(int AW, int AH) : W(AW), H(AH), Rows(static_cast<size_t>(Stride()) * AH, 0) {}
  int Stride() const { return (3 * W + 3) & ~3; }
  void Set(int StoredRow, int X, int R, int G, int B) {
    uint8_t* P = Rows.data() + StoredRow * Stride() + 3 * X;
    P[0] = static_cast<uint8_t>(B);
    P[1] = static_cast<uint8_t>(G);
    P[2] = static_cast<uint8_t>(R);
  }
  void Fill(int R, int G, int B) {
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) Set(Y, X, R, G, B);
  }
};

struct TReduced {
  std::vector<uint8_t> Bytes;
  int W, H;
  uint32_t U32(size_t At) const {
    return Bytes[At] | Bytes[At + 1] << 8 | Bytes[At + 2] << 16 | uint32_t{Bytes[At + 3]} << 24;
  }
  TRGBTuple Entry(int I) const {
    const uint8_t* P = Bytes.data() + 54 + 4 * I;
    return {P[2], P[1], P[0]};
  }
  int Index(int StoredRow, int X) const { return Bytes[1078 + StoredRow * ((W + 3) & ~3) + X]; }
  TRGBTuple ColorAt(int StoredRow, int X) const { return Entry(Index(StoredRow, X)); }
};

TReduced Reduce(const TPicture& P, TReductionMethod M) {
  auto S = ReduceRGBRows(P.W, P.H, P.Rows, M);
  EXPECT_EQ(S->Position(), 0);
  return {S->Bytes(), P.W, P.H};
}

const TRGBTuple Grey128{128, 128, 128};
const TRGBTuple Black{0, 0, 0};

}  // namespace

TEST(ColorReduction, ResultIsAn8BitBMPWithA1078ByteHeader) {
  TPicture P(5, 3);
  P.Fill(10, 20, 30);
  for (int M = 0; M <= 5; ++M) {
    SCOPED_TRACE(M);
    const TReduced R = Reduce(P, static_cast<TReductionMethod>(M));
    ASSERT_EQ(R.Bytes.size(), 1078u + 8 * 3);  // a 5-pixel row takes 8 bytes
    EXPECT_EQ(R.Bytes[0], 'B');
    EXPECT_EQ(R.Bytes[1], 'M');
    EXPECT_EQ(R.U32(2), 1078u + 24);
    EXPECT_EQ(R.U32(6), 0u);
    EXPECT_EQ(R.U32(10), 1078u);
    EXPECT_EQ(R.U32(14), 40u);
    EXPECT_EQ(R.U32(18), 5u);
    EXPECT_EQ(R.U32(22), 3u);
    EXPECT_EQ(R.Bytes[26] | R.Bytes[27] << 8, 1);
    EXPECT_EQ(R.Bytes[28] | R.Bytes[29] << 8, 8);
    EXPECT_EQ(R.U32(30), 0u);
    EXPECT_EQ(R.U32(34), 24u);
    for (int I = 0; I < 256; ++I) EXPECT_EQ(R.Bytes[54 + 4 * I + 3], 0);
    for (int Y = 0; Y < 3; ++Y)
      for (int X = 5; X < 8; ++X) EXPECT_EQ(R.Bytes[1078 + 8 * Y + X], 0) << "padding";
  }
}

TEST(ColorReduction, LevelTables) {
  const std::map<int, std::vector<int>> Expected = {
      {4, {0, 85, 170, 255}},
      {6, {0, 51, 102, 153, 204, 255}},
      {7, {0, 43, 85, 128, 170, 213, 255}},
      {8, {0, 36, 73, 109, 146, 182, 219, 255}},
  };
  for (const auto& [Count, Values] : Expected) {
    for (int I = 0; I < Count; ++I) EXPECT_EQ(LevelValue(Count, I), Values[I]) << Count;
    // Every value maps to a nearest level; midpoints go to the lower one.
    for (int V = 0; V < 256; ++V) {
      const int N = NearestLevel(Count, static_cast<uint8_t>(V));
      for (int I = 0; I < Count; ++I) {
        const int D = std::abs(V - Values[I]), DN = std::abs(V - Values[N]);
        EXPECT_TRUE(D > DN || (D == DN && I >= N)) << Count << " " << V;
      }
    }
  }
  EXPECT_EQ(NearestLevel(7, 64), 1);  // 64 lies exactly between 43 and 85
}

TEST(ColorReduction, FixedPalettesGiveTheirIndices) {
  struct Case {
    TReductionMethod M;
    TRGBTuple In;
    int Index;
    TRGBTuple Entry;
  };
  using enum TReductionMethod;
  const std::vector<Case> Cases = {
      {rmGreyScale, {255, 255, 255}, 255, {255, 255, 255}},
      {rmGreyScale, {255, 0, 0}, 76, {76, 76, 76}},
      {rmGreyScale, {0, 255, 0}, 149, {149, 149, 149}},
      {rmGreyScale, {0, 0, 255}, 28, {28, 28, 28}},
      {rmUniform666, {255, 0, 0}, 180, {255, 0, 0}},
      {rmUniform666, {128, 128, 128}, 129, {153, 153, 153}},
      {rmUniform784, {255, 255, 255}, 223, {255, 255, 255}},
      {rmUniform784, {64, 64, 64}, 32 * 1 + 4 * 2 + 1, {43, 73, 85}},
  };
  for (const Case& C : Cases) {
    TPicture P(1, 1);
    P.Fill(std::get<0>(C.In), std::get<1>(C.In), std::get<2>(C.In));
    const TReduced R = Reduce(P, C.M);
    EXPECT_EQ(R.Index(0, 0), C.Index) << static_cast<int>(C.M);
    EXPECT_EQ(R.Entry(C.Index), C.Entry) << static_cast<int>(C.M);
  }
  TPicture P(1, 1);
  const TReduced G = Reduce(P, rmGreyScale);
  for (int I = 0; I < 256; ++I) EXPECT_EQ(G.Entry(I), TRGBTuple(I, I, I));
  const TReduced U6 = Reduce(P, rmUniform666);
  EXPECT_EQ(U6.Entry(36 * 1 + 6 * 2 + 3), TRGBTuple(51, 102, 153));
  for (int I = 216; I < 256; ++I) EXPECT_EQ(U6.Entry(I), Grey128);
  const TReduced U7 = Reduce(P, rmUniform784);
  EXPECT_EQ(U7.Entry(32 * 3 + 4 * 5 + 2), TRGBTuple(128, 182, 170));
  for (int I = 224; I < 256; ++I) EXPECT_EQ(U7.Entry(I), Grey128);
}

TEST(ColorReduction, ChannelCycleAlongDiagonals) {
  TPicture P(4, 3);
  P.Fill(255, 255, 255);
  const TReduced R = Reduce(P, TReductionMethod::rmChannelCycle);
  EXPECT_EQ(R.Index(0, 0), 63);  // bottom-left pixel
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 4; ++X) EXPECT_EQ(R.Index(Y, X), 63 + 64 * ((Y + X) % 3)) << Y << X;
  P.Set(0, 0, 200, 100, 50);
  P.Set(0, 1, 200, 100, 50);
  P.Set(0, 2, 200, 100, 50);
  const TReduced Q = Reduce(P, TReductionMethod::rmChannelCycle);
  EXPECT_EQ(Q.Index(0, 0), 50);
  EXPECT_EQ(Q.Index(0, 1), 64 + 25);
  EXPECT_EQ(Q.Index(0, 2), 128 + 12);
  EXPECT_EQ(Q.Entry(50), TRGBTuple(200, 0, 0));
  EXPECT_EQ(Q.Entry(64 + 25), TRGBTuple(0, 100, 0));
  EXPECT_EQ(Q.Entry(128 + 12), TRGBTuple(0, 0, 48));
  for (int I = 192; I < 256; ++I) EXPECT_EQ(Q.Entry(I), Black);
}

TEST(ColorReduction, PopularityKeepsFewColoursByFrequency) {
  // Stored rows bottom first: A appears first, B and C twice each (B first), D three times.
  const TRGBTuple A{1, 2, 3}, B{200, 10, 10}, C{10, 200, 10}, D{7, 7, 250};
  TPicture P(4, 2);
  const TRGBTuple Order[2][4] = {{A, B, C, D}, {D, C, B, D}};
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 4; ++X)
      P.Set(Y, X, std::get<0>(Order[Y][X]), std::get<1>(Order[Y][X]), std::get<2>(Order[Y][X]));
  const TReduced R = Reduce(P, TReductionMethod::rmPopularity);
  EXPECT_EQ(R.Entry(0), D);
  EXPECT_EQ(R.Entry(1), B);  // ties go to the colour seen first
  EXPECT_EQ(R.Entry(2), C);
  EXPECT_EQ(R.Entry(3), A);
  for (int I = 4; I < 256; ++I) EXPECT_EQ(R.Entry(I), Grey128);
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 4; ++X) EXPECT_EQ(R.ColorAt(Y, X), Order[Y][X]);
}

TEST(ColorReduction, PopularityKeepsExactly256DistinctColours) {
  TPicture P(16, 16);
  for (int I = 0; I < 256; ++I) P.Set(I / 16, I % 16, I, 255 - I, (I * 7) & 255);
  const TReduced R = Reduce(P, TReductionMethod::rmPopularity);
  std::set<int> Used;
  for (int I = 0; I < 256; ++I) {
    EXPECT_EQ(R.ColorAt(I / 16, I % 16), TRGBTuple(I, 255 - I, (I * 7) & 255));
    Used.insert(R.Index(I / 16, I % 16));
    EXPECT_EQ(R.Index(I / 16, I % 16), I);  // all counts equal: order of first appearance
  }
  EXPECT_EQ(Used.size(), 256u);
}

TEST(ColorReduction, PopularityDropsTheLowBlueBitFirst) {
  // 2100 distinct colours: 1050 (red, green) pairs, each with an even and an odd blue value.
  TPicture P(100, 22);
  int N = 0;
  for (int Y = 0; Y < 21; ++Y)
    for (int X = 0; X < 100; ++X, ++N) {
      const int Pair = N / 2;
      P.Set(Y, X, Pair % 256, Pair / 256 * 40, 2 * (Pair % 100) + (N % 2));
    }
  // The most frequent colour has an odd blue value.
  for (int X = 0; X < 100; ++X) P.Set(21, X, 90, 91, 31);
  const TReduced R = Reduce(P, TReductionMethod::rmPopularity);
  EXPECT_EQ(R.Entry(0), TRGBTuple(90, 91, 30));
  EXPECT_EQ(R.Index(21, 0), 0);
  for (int I = 0; I < 256; ++I) EXPECT_EQ(std::get<2>(R.Entry(I)) % 2, 0) << I;
  // Pixels whose colour did not make the palette take the nearest palette entry.
  for (int Y = 0; Y < 21; ++Y)
    for (int X = 0; X < 100; ++X) {
      const int Pair = (Y * 100 + X) / 2;
      const int Red = Pair % 256, Green = Pair / 256 * 40, Blue = 2 * (Pair % 100);
      int BestDist = 1 << 30;
      for (int I = 0; I < 256; ++I) {
        const auto [ER, EG, EB] = R.Entry(I);
        BestDist = std::min(BestDist, (ER - Red) * (ER - Red) + (EG - Green) * (EG - Green) +
                                          (EB - Blue) * (EB - Blue));
      }
      const auto [ER, EG, EB] = R.ColorAt(Y, X);
      ASSERT_EQ((ER - Red) * (ER - Red) + (EG - Green) * (EG - Green) + (EB - Blue) * (EB - Blue),
                BestDist)
          << Y << " " << X;
    }
}

TEST(ColorReduction, MedianCutSplitsByPixelCountWithItsTieOrder) {
  // Red once, green once, blue twice. The first split on red keeps the green cell alone in box 0
  // (the small sort moves a cell past equal keys), then blue and red are split apart.
  TPicture P(4, 1);
  P.Set(0, 0, 255, 0, 0);
  P.Set(0, 1, 0, 255, 0);
  P.Set(0, 2, 0, 0, 255);
  P.Set(0, 3, 0, 0, 255);
  const TReduced R = Reduce(P, TReductionMethod::rmMedianCut);
  EXPECT_EQ(R.Index(0, 0), 2);
  EXPECT_EQ(R.Index(0, 1), 0);
  EXPECT_EQ(R.Index(0, 2), 1);
  EXPECT_EQ(R.Index(0, 3), 1);
  EXPECT_EQ(R.Entry(0), TRGBTuple(15, 255, 15));
  EXPECT_EQ(R.Entry(1), TRGBTuple(15, 15, 255));
  EXPECT_EQ(R.Entry(2), TRGBTuple(255, 15, 15));
  for (int I = 3; I < 256; ++I) EXPECT_EQ(R.Entry(I), Black);
}

TEST(ColorReduction, MedianCutGivesOneBoxPerOccupiedCell) {
  const std::vector<TRGBTuple> Colors = {{255, 255, 255}, {200, 100, 50}, {10, 10, 10},
                                         {16, 16, 16},    {31, 0, 250},   {128, 64, 32}};
  const std::vector<TRGBTuple> CellColor = {{255, 255, 255}, {207, 111, 63}, {0, 0, 0},
                                            {31, 31, 31},    {31, 15, 255},  {143, 79, 47}};
  TPicture P(3, 4);
  for (int I = 0; I < 12; ++I) {
    const TRGBTuple& C = Colors[I % Colors.size()];
    P.Set(I / 3, I % 3, std::get<0>(C), std::get<1>(C), std::get<2>(C));
  }
  const TReduced R = Reduce(P, TReductionMethod::rmMedianCut);
  std::set<int> Used;
  for (int I = 0; I < 12; ++I) {
    EXPECT_EQ(R.ColorAt(I / 3, I % 3), CellColor[I % Colors.size()]) << I;
    Used.insert(R.Index(I / 3, I % 3));
  }
  EXPECT_EQ(Used, std::set<int>({0, 1, 2, 3, 4, 5}));
  for (int I = 6; I < 256; ++I) EXPECT_EQ(R.Entry(I), Black);
}

TEST(ColorReduction, MedianCutPaletteIsTheAverageOfEachBox) {
  // Many occupied cells: 256 boxes, each entry the rounded-up average of its cells' nibbles.
  TPicture P(64, 64);
  for (int Y = 0; Y < 64; ++Y)
    for (int X = 0; X < 64; ++X) P.Set(Y, X, X * 4, Y * 4, ((X * Y) & 255));
  const TReduced R = Reduce(P, TReductionMethod::rmMedianCut);
  std::map<int, std::set<int>> CellsOfBox;
  std::map<int, int> BoxOfCell;
  for (int Y = 0; Y < 64; ++Y)
    for (int X = 0; X < 64; ++X) {
      const int Cell = ((X * 4) >> 4) * 256 + ((Y * 4) >> 4) * 16 + (((X * Y) & 255) >> 4);
      const int Box = R.Index(Y, X);
      CellsOfBox[Box].insert(Cell);
      auto [It, New] = BoxOfCell.emplace(Cell, Box);
      ASSERT_EQ(It->second, Box) << "one cell in two boxes";
    }
  EXPECT_EQ(CellsOfBox.size(), 256u);
  for (const auto& [Box, Cells] : CellsOfBox) {
    int SR = 0, SG = 0, SB = 0;
    for (int C : Cells) {
      SR += C >> 8;
      SG += (C >> 4) & 15;
      SB += C & 15;
    }
    const int N = static_cast<int>(Cells.size());
    TRGBTuple E{(16 * SR + 15) / N, (16 * SG + 15) / N, (16 * SB + 15) / N};
    if (std::get<0>(E) <= 16 && std::get<1>(E) <= 16 && std::get<2>(E) <= 16) E = Black;
    EXPECT_EQ(R.Entry(Box), E) << Box;
  }
}

TEST(ColorReduction, RejectsMissingPixels) {
  const std::vector<uint8_t> Few(10, 0);
  for (auto [W, H] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{4, 2}}) {
    try {
      ReduceRGBRows(W, H, Few, TReductionMethod::rmGreyScale);
      ADD_FAILURE() << W << "x" << H;
    } catch (const EInvalidGraphic& E) {
      EXPECT_STREQ(E.what(), "Bitmap image is not valid");
    }
  }
}

TEST(ColorReduction, ReducesBitmapsOfAnyFormatByTheColoursTheyShow) {
  auto Color = [](int X, int Y) {
    return RGB(static_cast<uint8_t>(40 * X), 200, static_cast<uint8_t>(30 * Y));
  };
  // The same picture as a 24-bit file bitmap, as a device bitmap drawn pixel by pixel, and as
  // an 8-bit bitmap with its own colour table.
  std::vector<std::unique_ptr<TBitmap>> Bitmaps;
  Bitmaps.push_back(orn::testing::Bitmap24(5, 3, Color));
  auto Device = std::make_unique<TBitmap>();
  Device->SetSize(5, 3);
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 5; ++X) Device->Canvas().SetPixels(X, Y, Color(X, Y));
  Bitmaps.push_back(std::move(Device));
  std::vector<TColor> Table;
  for (int I = 0; I < 15; ++I) Table.push_back(Color(I % 5, I / 5));
  Bitmaps.push_back(
      orn::testing::IndexedBitmap(5, 3, 8, Table, [](int X, int Y) { return Y * 5 + X; }));

  TPicture P(5, 3);
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 5; ++X) {
      const TColor C = Color(X, Y);
      P.Set(2 - Y, X, GetRValue(C), GetGValue(C), GetBValue(C));
    }
  for (auto M : {TReductionMethod::rmPopularity, TReductionMethod::rmMedianCut}) {
    const std::vector<uint8_t> Want = ReduceRGBRows(5, 3, P.Rows, M)->Bytes();
    for (auto& B : Bitmaps) EXPECT_EQ(ReduceBitmap(*B, M)->Bytes(), Want) << static_cast<int>(M);
  }
}

TEST(ColorReduction, BitmapWithoutPixelsIsNotValid) {
  TBitmap Empty;
  try {
    ReduceBitmap(Empty, TReductionMethod::rmPopularity);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& E) {
    EXPECT_STREQ(E.what(), "Bitmap image is not valid");
  }
}

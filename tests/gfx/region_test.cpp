#include <gtest/gtest.h>

#include <string>

#include "gfx/gdi.h"

namespace orn {
namespace {

// Builds a region the way a window shape is cut from a mask: the full rectangle less one
// subtraction per run of 'W' in each row.
std::vector<TRect> CutRuns(const std::vector<std::string>& Rows) {
  int H = static_cast<int>(Rows.size());
  int W = H ? static_cast<int>(Rows[0].size()) : 0;
  HRGN R = CreateRectRgn(0, 0, W, H);
  for (int Y = 0; Y < H; ++Y) {
    int X = 0;
    while (X < W) {
      int Start = X;
      while (X < W && Rows[Y][X] == Rows[Y][Start]) ++X;
      if (Rows[Y][Start] != 'W') continue;
      HRGN Run = CreateRectRgn(Start, Y, X, Y + 1);
      CombineRgn(R, R, Run, RGN_DIFF);
      DeleteObject(Run);
    }
  }
  std::vector<TRect> Out = GetRegionRects(R);
  DeleteObject(R);
  return Out;
}

TEST(Regions, SubtractingRunsYieldsBandedRectangles) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Mask;
    std::vector<TRect> Expected;
  };
  const TCase Cases[] = {
      {"no white", {"bbb", "bbb"}, {Rect(0, 0, 3, 2)}},
      {"all white", {"WW", "WW"}, {}},
      {"hole",
       {"bbbb", "bWWb", "bbbb"},
       {Rect(0, 0, 4, 1), Rect(0, 1, 1, 2), Rect(3, 1, 4, 2), Rect(0, 2, 4, 3)}},
      {"edges and whole row",
       {"WbbW", "WWWW", "WbbW", "bbbb"},
       {Rect(1, 0, 3, 1), Rect(1, 2, 3, 3), Rect(0, 3, 4, 4)}},
      // Equal rows merge into one band.
      {"merged bands",
       {"bWbb", "bWbb", "bbbb"},
       {Rect(0, 0, 1, 2), Rect(2, 0, 4, 2), Rect(0, 2, 4, 3)}},
      {"zero size", {}, {}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(CutRuns(C.Mask), C.Expected);
  }
}

TEST(Regions, CombineModesAndQueries) {
  HRGN A = CreateRectRgn(0, 0, 4, 2);
  HRGN B = CreateRectRgn(2, 1, 6, 3);
  HRGN R = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(R, A, B, RGN_OR), COMPLEXREGION);
  EXPECT_EQ(GetRegionRects(R),
            (std::vector<TRect>{Rect(0, 0, 4, 1), Rect(0, 1, 6, 2), Rect(2, 2, 6, 3)}));
  EXPECT_TRUE(PtInRegion(R, 5, 2));
  EXPECT_FALSE(PtInRegion(R, 1, 2));
  TRect Box;
  GetRgnBox(R, Box);
  EXPECT_EQ(Box, Rect(0, 0, 6, 3));
  EXPECT_EQ(CombineRgn(R, A, B, RGN_AND), SIMPLEREGION);
  EXPECT_EQ(GetRegionRects(R), (std::vector<TRect>{Rect(2, 1, 4, 2)}));
  EXPECT_EQ(CombineRgn(R, A, B, RGN_XOR), COMPLEXREGION);
  EXPECT_EQ(GetRegionRects(R), (std::vector<TRect>{Rect(0, 0, 4, 1), Rect(0, 1, 2, 2),
                                                   Rect(4, 1, 6, 2), Rect(2, 2, 6, 3)}));
  EXPECT_EQ(CombineRgn(R, A, A, RGN_DIFF), NULLREGION);
  EXPECT_EQ(CombineRgn(R, A, nullptr, RGN_COPY), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(R, A));
  EXPECT_EQ(CombineRgn(R, A, B, 99), RGN_ERROR);
  // Adjacent rectangles of equal span join into one.
  HRGN Below = CreateRectRgn(0, 2, 4, 5);
  EXPECT_EQ(CombineRgn(R, A, Below, RGN_OR), SIMPLEREGION);
  EXPECT_EQ(GetRegionRects(R), (std::vector<TRect>{Rect(0, 0, 4, 5)}));
  for (HRGN H : {A, B, R, Below}) DeleteObject(H);
}

TEST(Regions, ClipRegionOnAContextLimitsFills) {
  HBITMAP Bmp = CreateBitmap(3, 3, 1, 32);
  HDC Dc = CreateCompatibleDC(nullptr);
  HBITMAP Old = SelectObject(Dc, Bmp);
  HRGN Clip = CreateRectRgn(0, 0, 3, 3);
  HRGN Hole = CreateRectRgn(1, 1, 2, 2);
  CombineRgn(Clip, Clip, Hole, RGN_DIFF);
  EXPECT_EQ(SelectClipRgn(Dc, Clip), COMPLEXREGION);
  FillRect(Dc, Rect(0, 0, 3, 3), clRed);
  SelectClipRgn(Dc, nullptr);
  EXPECT_EQ(GetPixel(Dc, 1, 1), clBlack);
  EXPECT_EQ(GetPixel(Dc, 0, 1), clRed);
  EXPECT_EQ(GetPixel(Dc, 2, 2), clRed);
  SelectObject(Dc, Old);
  DeleteObject(Bmp);
  DeleteObject(Clip);
  DeleteObject(Hole);
  DeleteDC(Dc);
}

}  // namespace
}  // namespace orn

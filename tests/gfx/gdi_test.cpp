#include <gtest/gtest.h>

#include <algorithm>

#include "gfx/colors.h"
#include "gfx/gdi.h"
#include "helpers.h"

namespace orn {
namespace {

using test::MonoBitmap;
using test::TSurface;

TEST(Colors, SystemColoursResolveThroughTheTableOthersPassUnchanged) {
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(15));
  EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
  EXPECT_EQ(ColorToRGB(clNone), clNone);
  EXPECT_EQ(ColorToRGB(clDefault), clDefault);
  EXPECT_EQ(ColorToRGB(clFuchsia), 0xFF00FFu);
  EXPECT_EQ(ColorToRGB(0x02123456), 0x02123456u);
  EXPECT_EQ(GetSysColor(-1), clBlack);
  EXPECT_EQ(GetSysColor(SystemColorCount), clBlack);
}

struct TRopCase {
  const char* Name;
  uint32_t Rop;
  TColor Src, Dst, Expected;
};

TEST(BlockTransfer, RasterOperationsCombineSourceAndDestinationBits) {
  const TRopCase Cases[] = {
      {"SRCCOPY", SRCCOPY, 0x123456, 0xABCDEF, 0x123456},
      {"SRCAND", SRCAND, 0x0F0FF0, 0x3C3C3C, 0x0C0C30},
      {"SRCPAINT", SRCPAINT, 0x0F0FF0, 0x3C3C3C, 0x3F3FFC},
      {"NOTSRCCOPY", NOTSRCCOPY, 0x0F0FF0, 0x3C3C3C, 0xF0F00F},
      {"SRCINVERT", SRCINVERT, 0x0F0FF0, 0x3C3C3C, 0x3333CC},
      {"BLACKNESS", BLACKNESS, 0x0F0FF0, 0x3C3C3C, 0x000000},
      {"WHITENESS", WHITENESS, 0x0F0FF0, 0x3C3C3C, 0xFFFFFF},
      {"DSTINVERT", DSTINVERT, 0x0F0FF0, 0x3C3C3C, 0xC3C3C3},
      // D AND NOT S (0x22), computed from the truth table.
      {"0x220326", 0x00220326, 0x0F0FF0, 0x3C3C3C, 0x30300C},
  };
  for (const TRopCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TSurface Src(1, 1, C.Src), Dst(1, 1, C.Dst);
    ASSERT_TRUE(BitBlt(Dst.Dc, 0, 0, 1, 1, Src.Dc, 0, 0, C.Rop));
    EXPECT_EQ(GetPixel(Dst.Dc, 0, 0), C.Expected);
  }
}

TEST(BlockTransfer, PatternOperationsUseTheBrushColour) {
  TSurface Dst(2, 1, 0x0000FF);
  SetDCBrushColor(Dst.Dc, 0x00FF00);
  ASSERT_TRUE(PatBlt(Dst.Dc, 1, 0, 1, 1, PATCOPY));
  EXPECT_EQ(Dst.Pixels(), (std::vector<TColor>{0x0000FF, 0x00FF00}));
}

TEST(BlockTransfer, ColourToMonochromeMarksTheSourceBackgroundColour) {
  TSurface Src(3, 1);
  Src.Set({clRed, clBlue, clRed});
  TSurface Mask(CreateBitmap(3, 1, 1, 1));
  SetBkColor(Src.Dc, clRed);
  SetBkColor(Mask.Dc, clBlue);  // the destination's background colour plays no part
  ASSERT_TRUE(BitBlt(Mask.Dc, 0, 0, 3, 1, Src.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(Mask.Pixels(), (std::vector<TColor>{clWhite, clBlack, clWhite}));

  // A palette-indexed source compares the colours its pixels show.
  TDib Indexed(3, 1, 8);
  Indexed.Colors[1] = TRGBQuad{0, 0, 255, 0};  // red
  Indexed.Colors[2] = TRGBQuad{0, 255, 0, 0};  // green
  Indexed.SetRaw(0, 0, 2);
  Indexed.SetRaw(1, 0, 1);
  Indexed.SetRaw(2, 0, 2);
  TSurface Src8(CreateDIBSection(Indexed));
  SetBkColor(Src8.Dc, clLime);
  ASSERT_TRUE(BitBlt(Mask.Dc, 0, 0, 3, 1, Src8.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(Mask.Pixels(), (std::vector<TColor>{clWhite, clBlack, clWhite}));
}

TEST(BlockTransfer, MonochromeToColourUsesTheDestinationTextAndBackgroundColours) {
  TSurface Mono(MonoBitmap(3, 1, {1, 0, 1}));
  TSurface Dst(3, 1, clGray);
  SetBkColor(Dst.Dc, clYellow);
  SetTextColor(Dst.Dc, clNavy);
  SetBkColor(Mono.Dc, clRed);  // the source's colours play no part
  SetTextColor(Mono.Dc, clRed);
  ASSERT_TRUE(BitBlt(Dst.Dc, 0, 0, 3, 1, Mono.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(Dst.Pixels(), (std::vector<TColor>{clYellow, clNavy, clYellow}));
}

TEST(BlockTransfer, MonochromeDibSourceShowsItsColourTable) {
  TDib D(2, 1, 1);
  D.Colors[0] = TRGBQuad{0, 0, 255, 0};  // red
  D.Colors[1] = TRGBQuad{255, 0, 0, 0};  // blue
  D.SetRaw(1, 0, 1);
  TSurface Src(CreateDIBSection(D));
  TSurface Dst(2, 1);
  ASSERT_TRUE(BitBlt(Dst.Dc, 0, 0, 2, 1, Src.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(Dst.Pixels(), (std::vector<TColor>{clRed, clBlue}));
}

TEST(BlockTransfer, MonochromeToMonochromeCopiesBits) {
  TSurface Src(MonoBitmap(4, 1, {1, 0, 0, 1}));
  TSurface Dst(MonoBitmap(4, 1, {0, 0, 0, 0}));
  ASSERT_TRUE(BitBlt(Dst.Dc, 0, 0, 4, 1, Src.Dc, 0, 0, NOTSRCCOPY));
  EXPECT_EQ(Dst.Pixels(), (std::vector<TColor>{clBlack, clWhite, clWhite, clBlack}));
}

TEST(StretchTransfer, ShrinkingCombinesOrDropsPixelsByStretchMode) {
  struct TCase {
    int Mode;
    std::vector<TColor> Expected;
  };
  const TCase Cases[] = {
      {BLACKONWHITE, {0x0F00F0 & 0xF00000, 0x00FF00 & 0x0000FF}},
      {WHITEONBLACK, {0x0F00F0 | 0xF00000, 0x00FF00 | 0x0000FF}},
      {COLORONCOLOR, {0x0F00F0, 0x00FF00}},
      {HALFTONE, {0x0F00F0, 0x00FF00}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Mode);
    TSurface Src(4, 1);
    Src.Set({0x0F00F0, 0xF00000, 0x00FF00, 0x0000FF});
    TSurface Dst(2, 1, clWhite);
    SetStretchBltMode(Dst.Dc, C.Mode);
    ASSERT_TRUE(StretchBlt(Dst.Dc, 0, 0, 2, 1, Src.Dc, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(Dst.Pixels(), C.Expected);
  }
}

TEST(StretchTransfer, EnlargingRepeatsNearestPixelsAndNegativeWidthMirrors) {
  TSurface Src(2, 2);
  Src.Set({clRed, clLime, clBlue, clWhite});
  TSurface Dst(4, 2);
  ASSERT_TRUE(StretchBlt(Dst.Dc, 0, 0, 4, 2, Src.Dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(Dst.Pixels(),
            (std::vector<TColor>{clRed, clRed, clLime, clLime, clBlue, clBlue, clWhite, clWhite}));
  TSurface Mirror(2, 1);
  ASSERT_TRUE(StretchBlt(Mirror.Dc, 2, 0, -2, 1, Src.Dc, 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(Mirror.Pixels(), (std::vector<TColor>{clLime, clRed}));
}

TEST(DeviceContext, ViewportAndWindowOriginsShiftLogicalCoordinates) {
  TSurface S(4, 4);
  SetViewportOrgEx(S.Dc, 2, 1, nullptr);
  SetPixel(S.Dc, 0, 0, clRed);
  SetViewportOrgEx(S.Dc, 0, 0, nullptr);
  EXPECT_EQ(GetPixel(S.Dc, 2, 1), clRed);
  SetWindowOrgEx(S.Dc, 2, 1, nullptr);
  EXPECT_EQ(GetPixel(S.Dc, 4, 2), clRed);
  TRect Box;
  GetClipBox(S.Dc, Box);
  EXPECT_EQ(Box, Rect(2, 1, 6, 5));
}

TEST(DeviceContext, ClippingLimitsDrawingAndSavedStatesComeBack) {
  TSurface S(4, 1, clBlack);
  SetBkColor(S.Dc, clRed);
  int Level = SaveDC(S.Dc);
  EXPECT_EQ(Level, 1);
  IntersectClipRect(S.Dc, 1, 0, 3, 1);
  SetBkColor(S.Dc, clBlue);
  SetViewportOrgEx(S.Dc, 5, 5, nullptr);
  SaveDC(S.Dc);
  SetStretchBltMode(S.Dc, HALFTONE);
  ASSERT_TRUE(RestoreDC(S.Dc, -1));
  EXPECT_EQ(GetStretchBltMode(S.Dc), BLACKONWHITE);
  SetViewportOrgEx(S.Dc, 0, 0, nullptr);
  FillRect(S.Dc, Rect(0, 0, 4, 1), clWhite);
  EXPECT_EQ(GetPixel(S.Dc, 0, 0), CLR_INVALID);  // outside the clip
  ASSERT_TRUE(RestoreDC(S.Dc, 1));
  EXPECT_EQ(GetBkColor(S.Dc), clRed);
  EXPECT_EQ(S.Pixels(), (std::vector<TColor>{clBlack, clWhite, clWhite, clBlack}));
  EXPECT_FALSE(RestoreDC(S.Dc, -1));  // nothing saved any more
}

TEST(DeviceContext, OutsideTheBitmapNothingIsReadOrWritten) {
  TSurface S(2, 2, clRed);
  EXPECT_EQ(GetPixel(S.Dc, -1, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(S.Dc, 2, 0), CLR_INVALID);
  EXPECT_EQ(SetPixel(S.Dc, 0, 5, clBlue), CLR_INVALID);
  TSurface Big(4, 4, clLime);
  // Copy partly outside both bitmaps: only the overlap changes.
  ASSERT_TRUE(BitBlt(S.Dc, 1, 1, 4, 4, Big.Dc, 2, 2, SRCCOPY));
  EXPECT_EQ(S.Pixels(), (std::vector<TColor>{clRed, clRed, clRed, clLime}));
}

TEST(Palettes, SelectRealiseAndPaletteRelativeColours) {
  HPALETTE Pal = CreatePalette({{0, 0, 0, 0}, {200, 10, 10, 0}, {250, 250, 250, 0}});
  TDib D(2, 1, 8);
  D.Colors[0] = TRGBQuad{0, 0, 0, 0};
  D.Colors[1] = TRGBQuad{10, 10, 200, 0};
  D.Colors[2] = TRGBQuad{250, 250, 250, 0};
  TSurface Indexed(CreateDIBSection(D));
  HPALETTE Old = SelectPalette(Indexed.Dc, Pal, false);
  EXPECT_EQ(Old, GetStockPalette());
  EXPECT_EQ(RealizePalette(Indexed.Dc), 3);
  // Palette target: the nearest entry of the selected palette.
  EXPECT_EQ(GetNearestColor(Indexed.Dc, PaletteRelativeFlag | RGB(255, 0, 0)), RGB(200, 10, 10));
  EXPECT_EQ(GetNearestColor(Indexed.Dc, RGB(255, 0, 0)), RGB(255, 0, 0));
  SetPixel(Indexed.Dc, 0, 0, PaletteRelativeFlag | clWhite);
  EXPECT_EQ(GetPixel(Indexed.Dc, 0, 0), RGB(250, 250, 250));
  EXPECT_EQ(SelectPalette(Indexed.Dc, Old, false), Pal);

  // True-colour target: the colour itself, palette or not.
  TSurface True(1, 1);
  SelectPalette(True.Dc, Pal, false);
  EXPECT_EQ(GetNearestColor(True.Dc, PaletteRelativeFlag | RGB(255, 0, 0)), RGB(255, 0, 0));
  EXPECT_EQ(GetNearestColor(True.Dc, clWindow), clWhite);
  SelectPalette(True.Dc, GetStockPalette(), false);
  EXPECT_EQ(GetNearestPaletteIndex(Pal, RGB(240, 240, 240)), 2);
  EXPECT_TRUE(DeleteObject(Pal));
  EXPECT_FALSE(DeleteObject(GetStockPalette()));
}

TEST(Bitmaps, CompatibleBitmapFollowsTheSelectedBitmapAndDescribesItself) {
  HDC Dc = CreateCompatibleDC(nullptr);
  HBITMAP Mono = CreateCompatibleBitmap(Dc, 3, 2);  // fresh context: monochrome
  HBITMAP Colour = CreateCompatibleBitmap(nullptr, 3, 2);
  TDIBSection Info;
  EXPECT_EQ(GetObject(Mono, Info), SizeOfBitmapObject);
  EXPECT_EQ(Info.dsBm.bmBitsPixel, 1);
  EXPECT_EQ(GetObject(Colour, Info), SizeOfBitmapObject);
  EXPECT_EQ(Info.dsBm.bmBitsPixel, 32);
  HBITMAP Dib = CreateDIBSection(TDib(5, 2, 8));
  EXPECT_EQ(GetObject(Dib, Info), SizeOfDIBSection);
  EXPECT_EQ(Info.dsBmih.biBitCount, 8);
  EXPECT_EQ(Info.dsBm.bmWidthBytes, 8);
  EXPECT_EQ(GetObject(nullptr, Info), 0);
  DeleteObject(Mono);
  DeleteObject(Colour);
  DeleteObject(Dib);
  DeleteDC(Dc);
}

TEST(Bitmaps, NewBitmapsStartBlackAlsoWhereDeletedOnesLeftTheirStorage) {
  // Large and small, colour and monochrome: the storage of a deleted white bitmap may be
  // reused, but never its pixels.
  struct TCase {
    int W, H, Bits;
  } Cases[] = {{300, 200, 32}, {290, 190, 32}, {1000, 300, 1}, {64, 64, 32}, {3, 2, 32}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " at " << C.Bits);
    for (int Round = 0; Round < 2; ++Round) {
      HBITMAP B = CreateBitmap(C.W, C.H, 1, C.Bits);
      ASSERT_TRUE(
          std::all_of(B->Dib.Bits.begin(), B->Dib.Bits.end(), [](uint8_t V) { return V == 0; }));
      std::fill(B->Dib.Bits.begin(), B->Dib.Bits.end(), 0xFF);
      DeleteObject(B);
    }
  }
}

TEST(Bitmaps, GetDIBitsGivesBottomUpRowsOfShownColours) {
  TDib D(2, 2, 4);
  D.Colors[3] = TRGBQuad{1, 2, 3, 0};
  D.SetRaw(0, 0, 3);  // top-left
  HBITMAP B = CreateDIBSection(D);
  TBitmapInfoHeader Info;
  Info.biBitCount = 24;
  std::vector<uint8_t> Rows(16, 0xEE);
  EXPECT_EQ(GetDIBits(nullptr, B, 0, 2, Rows.data(), Info, nullptr), 2);
  EXPECT_EQ(Info.biSizeImage, 16u);
  // Stored row 0 is the bottom row (all index 0, black); row 1 starts with the top-left pixel.
  EXPECT_EQ(std::vector<uint8_t>(Rows.begin(), Rows.begin() + 8),
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(Rows.begin() + 8, Rows.begin() + 11),
            (std::vector<uint8_t>{1, 2, 3}));
  Info.biBitCount = 16;
  EXPECT_EQ(GetDIBits(nullptr, B, 0, 2, Rows.data(), Info, nullptr), 0);
  DeleteObject(B);
}

}  // namespace
}  // namespace orn

namespace orn {
namespace {

TEST(BlockTransfer, AbsurdExtentsAndOffsetsTouchOnlyWhatOverlaps) {
  test::TSurface Src(2, 2, clRed), Dst(2, 2, clBlue);
  // Huge shrink factor: only the source pixels that exist are combined.
  ASSERT_TRUE(StretchBlt(Dst.Dc, 0, 0, 1, 1, Src.Dc, 0, 0, 2000000000, 2000000000, SRCCOPY));
  EXPECT_EQ(GetPixel(Dst.Dc, 0, 0), clRed);
  EXPECT_EQ(GetPixel(Dst.Dc, 1, 1), clBlue);
  // Extreme positions and extents neither overflow nor draw outside the overlap.
  EXPECT_TRUE(
      BitBlt(Dst.Dc, INT32_MIN + 1, INT32_MIN + 1, INT32_MAX, INT32_MAX, Src.Dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(Dst.Dc, 1, 1), clBlue);
  // Mirrored from the far right edge of the coordinate space: it reaches back over x = 0.
  EXPECT_TRUE(StretchBlt(Dst.Dc, INT32_MAX, 0, INT32_MIN + 1, 2, Src.Dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(Dst.Dc, 1, 1), clRed);
  FillRect(Dst.Dc, Rect(0, 0, 2, 2), clBlue);
  EXPECT_FALSE(StretchBlt(Dst.Dc, 0, 0, INT32_MIN, 1, Src.Dc, 0, 0, 1, 1, SRCCOPY));
  EXPECT_TRUE(BitBlt(Dst.Dc, 0, 0, 2, 2, Src.Dc, INT32_MAX, INT32_MIN, SRCCOPY));
  EXPECT_EQ(GetPixel(Dst.Dc, 1, 1), clBlue);  // that source lies outside its bitmap
}

}  // namespace
}  // namespace orn

namespace orn {
namespace {

TEST(BlockTransfer, PlainCopyHonoursClipOriginsAndSourceEdges) {
  test::TSurface Src(3, 1);
  Src.Set({clRed, clLime, clBlue});
  test::TSurface Dst(4, 2, clBlack);
  IntersectClipRect(Dst.Dc, 0, 0, 3, 1);
  SetViewportOrgEx(Src.Dc, -1, 0, nullptr);  // logical source x 1 is device x 0
  ASSERT_TRUE(BitBlt(Dst.Dc, 0, 0, 4, 2, Src.Dc, 0, 0, SRCCOPY));
  SelectClipRgn(Dst.Dc, nullptr);
  // Logical source x 0 lies left of the bitmap: that destination pixel stays.
  EXPECT_EQ(Dst.Pixels(), (std::vector<TColor>{clBlack, clRed, clLime, clBlack, clBlack, clBlack,
                                               clBlack, clBlack}));
}

}  // namespace
}  // namespace orn

namespace orn {
namespace {

TEST(BlockTransfer, OverlappingCopyWithinOneBitmap) {
  for (int Bits : {8, 32}) {  // pixel by pixel, and by row spans
    SCOPED_TRACE(Bits);
    TDib D(4, 1, Bits);
    if (Bits == 8)
      for (int I = 0; I < 4; ++I)
        D.Colors[static_cast<size_t>(I)] = TRGBQuad{0, 0, static_cast<uint8_t>(60 * I + 10), 0};
    for (int X = 0; X < 4; ++X)
      D.SetRaw(X, 0, Bits == 8 ? X : RGB(static_cast<uint8_t>(60 * X + 10), 0, 0));
    test::TSurface S(CreateDIBSection(D));
    ASSERT_TRUE(BitBlt(S.Dc, 1, 0, 3, 1, S.Dc, 0, 0, SRCCOPY));  // shift right by one
    EXPECT_EQ(S.Pixels(),
              (std::vector<TColor>{RGB(10, 0, 0), RGB(10, 0, 0), RGB(70, 0, 0), RGB(130, 0, 0)}));
  }
}

}  // namespace
}  // namespace orn

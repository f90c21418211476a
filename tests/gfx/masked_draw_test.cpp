#include <gtest/gtest.h>

#include <string>

#include "gfx/bitmap.h"
#include "gfx/masked_draw.h"

namespace orn {
namespace {

// A 32-bit bitmap from row-major pixels.
void Fill(TBitmap& B, int W, int H, std::initializer_list<TColor> Pixels) {
  B.SetSize(W, H);
  int I = 0;
  for (TColor C : Pixels) {
    B.Canvas().SetPixels(I % W, I / W, C);
    ++I;
  }
}

std::vector<TColor> PixelsOf(TBitmap& B) {
  std::vector<TColor> Out;
  for (int Y = 0; Y < B.Height(); ++Y)
    for (int X = 0; X < B.Width(); ++X) Out.push_back(B.Canvas().Pixels(X, Y));
  return Out;
}

constexpr TColor F = clFuchsia, R = clRed, B_ = clBlue, G = clGray, K = clBlack;

TEST(PaletteRelativeColor, ResolvesSystemColoursAndSetsTheFlag) {
  EXPECT_EQ(PaletteRelativeColor(clWindow), 0x02FFFFFFu);
  EXPECT_EQ(PaletteRelativeColor(clRed), 0x020000FFu);
  EXPECT_EQ(PaletteRelativeColor(clBtnFace), ColorToRGB(clBtnFace) | 0x02000000u);
}

TEST(MaskedDraw, KeyedPixelsLeaveTheDestinationAlone) {
  struct TCase {
    const char* Name;
    TColor Key;
    int DestW, DestH;              // destination size passed in
    TRect Source;                  // source rectangle passed in
    std::vector<TColor> Expected;  // 4 x 2 destination afterwards
  };
  // Source 2 x 2: red, fuchsia / fuchsia, blue (bottom-left fuchsia). Destination 4 x 2 grey.
  const TCase Cases[] = {
      {"natural size", clFuchsia, 2, 2, Rect(0, 0, 2, 2), {R, G, G, G, G, B_, G, G}},
      {"stretched keeps mask aligned",
       clFuchsia,
       4,
       2,
       Rect(0, 0, 2, 2),
       {R, R, G, G, G, G, B_, B_}},
      {"zero destination size is natural size",
       clFuchsia,
       0,
       0,
       Rect(0, 0, 2, 2),
       {R, G, G, G, G, B_, G, G}},
      {"empty source is the whole bitmap",
       clFuchsia,
       2,
       2,
       Rect(1, 1, 1, 5),
       {R, G, G, G, G, B_, G, G}},
      {"source part", clFuchsia, 1, 2, Rect(1, 0, 2, 2), {G, G, G, G, B_, G, G, G}},
      {"no key: opaque", clNone, 2, 2, Rect(0, 0, 2, 2), {R, F, G, G, F, B_, G, G}},
      {"default key: bottom-left pixel",
       clDefault,
       2,
       2,
       Rect(0, 0, 2, 2),
       {R, G, G, G, G, B_, G, G}},
      {"system colour key", clBtnFace, 2, 2, Rect(0, 0, 2, 2), {R, F, G, G, F, B_, G, G}},
      {"other key", clRed, 2, 2, Rect(0, 0, 2, 2), {G, F, G, G, F, B_, G, G}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TBitmap Src;
    Fill(Src, 2, 2, {R, F, F, B_});
    TBitmap Dst;
    Dst.Canvas().Brush().SetColor(G);
    Dst.SetSize(4, 2);
    DrawBitmapRectMasked(Dst.Canvas(), 0, 0, C.DestW, C.DestH, C.Source, Src, C.Key);
    EXPECT_EQ(PixelsOf(Dst), C.Expected);
  }
}

// A black-and-white device bitmap keys out white whatever colour is asked for; a 1-bit
// device-independent bitmap (a two-colour GIF frame) shows its table's colours and keys out
// the colour asked for, like any other bitmap.
TEST(MaskedDraw, OneBitBitmapsKeyTheirColourUnlessBlackAndWhiteDevice) {
  constexpr TColor W = clWhite;
  struct TCase {
    const char* Name;
    TRGBQuad Zero, One;  // the colour table
    bool Device;         // converted to a device-dependent bitmap
    TColor Key;
    std::vector<TColor> Expected;  // pixels 0, 1, 0 over grey
  };
  const TRGBQuad Black{0, 0, 0, 0}, White{255, 255, 255, 0}, Red{0, 0, 255, 0};
  const TCase Cases[] = {
      {"device bitmap keys white", Black, White, true, clRed, {K, G, K}},
      {"device bitmap asked for black still keys white", Black, White, true, clBlack, {K, G, K}},
      {"black and white, black keyed", Black, White, false, clBlack, {G, W, G}},
      {"black and white, white keyed", Black, White, false, clWhite, {K, G, K}},
      {"red and black, black keyed", Red, Black, false, clBlack, {R, G, R}},
      {"red and black, red keyed", Red, Black, false, clRed, {G, K, G}},
      {"colour not in the table", Red, Black, false, clLime, {R, K, R}},
      {"no key", Red, Black, false, clNone, {R, K, R}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TDib D(3, 1, 1);
    D.Colors = {C.Zero, C.One};
    D.SetRaw(1, 0, 1);
    TMemoryStream S;
    WriteBMP(D, S);
    S.SetPosition(0);
    TBitmap Src;
    Src.LoadFromStream(S);
    if (C.Device) Src.SetHandleType(TBitmapHandleType::bmDDB);
    ASSERT_TRUE(Src.Monochrome());
    ASSERT_EQ(Src.HandleType(), C.Device ? TBitmapHandleType::bmDDB : TBitmapHandleType::bmDIB);
    TBitmap Dst;
    Dst.Canvas().Brush().SetColor(G);
    Dst.SetSize(3, 1);
    DrawBitmapMasked(Dst.Canvas(), Src, C.Key, 0, 0, 3, 1, 0, 0, 3, 1);
    EXPECT_EQ(PixelsOf(Dst), C.Expected);
    // Stretched, the mask stays aligned with the picture.
    TBitmap Wide;
    Wide.Canvas().Brush().SetColor(G);
    Wide.SetSize(6, 1);
    DrawBitmapMasked(Wide.Canvas(), Src, C.Key, 0, 0, 6, 1, 0, 0, 3, 1);
    std::vector<TColor> Doubled;
    for (TColor P : C.Expected) Doubled.insert(Doubled.end(), 2, P);
    EXPECT_EQ(PixelsOf(Wide), Doubled);
  }
}

TEST(MaskedDraw, StretchModeIsSetForColourBitmapsOnly) {
  TDib D(3, 1, 1);
  D.Colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  TMemoryStream S;
  WriteBMP(D, S);
  S.SetPosition(0);
  TBitmap Mask;
  Mask.LoadFromStream(S);
  TBitmap Dst;
  Dst.SetSize(3, 1);
  SetStretchBltMode(Dst.Canvas().Handle(), WHITEONBLACK);
  DrawBitmapMasked(Dst.Canvas(), Mask, clRed, 0, 0, 3, 1, 0, 0, 3, 1);
  EXPECT_EQ(GetStretchBltMode(Dst.Canvas().Handle()), WHITEONBLACK);
  TBitmap Colour;
  Fill(Colour, 1, 1, {R});
  DrawBitmapMasked(Dst.Canvas(), Colour, clNone, 0, 0, 1, 1, 0, 0, 1, 1);
  EXPECT_EQ(GetStretchBltMode(Dst.Canvas().Handle()), COLORONCOLOR);
}

TEST(MaskedDraw, OpaqueDrawUsesTheCanvasCopyMode) {
  TBitmap Src;
  Fill(Src, 1, 1, {0x0F0F0F});
  TBitmap Dst;
  Dst.Canvas().Brush().SetColor(0x303030);
  Dst.SetSize(1, 1);
  Dst.Canvas().SetCopyMode(SRCPAINT);
  DrawBitmapMasked(Dst.Canvas(), Src, clNone, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(Dst.Canvas().Pixels(0, 0), 0x3F3F3Fu);
}

TEST(MaskedDraw, IndexedBitmapWithPaletteKeysItsColour) {
  TDib D(2, 1, 8);
  D.Colors[0] = TRGBQuad{0, 255, 0, 0};    // lime: the key
  D.Colors[1] = TRGBQuad{128, 0, 128, 0};  // purple
  D.SetRaw(1, 0, 1);
  TMemoryStream S;
  WriteBMP(D, S);
  S.SetPosition(0);
  TBitmap Src;
  Src.LoadFromStream(S);
  Src.SetHandleType(TBitmapHandleType::bmDDB);
  ASSERT_NE(Src.Palette(), nullptr);
  TBitmap Dst;
  Dst.Canvas().Brush().SetColor(G);
  Dst.SetSize(4, 1);
  HPALETTE Before = SelectPalette(Dst.Canvas().Handle(), GetStockPalette(), false);
  DrawBitmapRectMasked(Dst.Canvas(), 0, 0, 4, 1, Rect(0, 0, 2, 1), Src, clLime);
  EXPECT_EQ(PixelsOf(Dst), (std::vector<TColor>{G, G, clPurple, clPurple}));
  // The destination gets its palette back.
  EXPECT_EQ(SelectPalette(Dst.Canvas().Handle(), Before, false), GetStockPalette());
}

TEST(MaskedDraw, SourceCanvasIsUnlockedAndItsNotificationRestored) {
  TBitmap Src;
  Fill(Src, 1, 1, {R});
  TBitmap Copy;
  Copy.Assign(&Src);
  int Changing = 0;
  auto Original = Copy.Canvas().OnChanging;
  Copy.Canvas().OnChanging = [&](TObject* Sender) {
    ++Changing;
    Original(Sender);
  };
  TBitmap Dst;
  Dst.SetSize(1, 1);
  DrawBitmapMasked(Dst.Canvas(), Copy, clBlue, 0, 0, 1, 1, 0, 0, 1, 1);
  EXPECT_EQ(Changing, 0);
  EXPECT_EQ(Copy.Canvas().LockCount(), 0);
  EXPECT_EQ(Dst.Canvas().Pixels(0, 0), clRed);
  Copy.Canvas().SetPixels(0, 0, clLime);  // the restored notification still unshares
  EXPECT_EQ(Changing, 1);
  EXPECT_EQ(Src.Canvas().Pixels(0, 0), clRed);
}

}  // namespace
}  // namespace orn

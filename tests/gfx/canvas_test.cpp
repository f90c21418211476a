#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gfx/canvas.h"

namespace orn {
namespace {

TEST(CanvasLock, ReentrantOnOneThreadExclusiveAcrossThreads) {
  TBitmap B;
  TCanvas& C = B.Canvas();
  C.Lock();
  C.Lock();
  EXPECT_TRUE(C.TryLock());
  EXPECT_EQ(C.LockCount(), 3);
  auto OtherTry = [&] {
    bool Got = false;
    std::thread T([&] {
      Got = C.TryLock();
      if (Got) C.Unlock();
    });
    T.join();
    return Got;
  };
  C.Unlock();
  C.Unlock();
  EXPECT_FALSE(OtherTry());  // still held once
  C.Unlock();
  EXPECT_EQ(C.LockCount(), 0);
  EXPECT_TRUE(OtherTry());

  // A waiting thread gets the lock once the holder lets go.
  C.Lock();
  std::atomic<bool> Entered{false};
  std::thread Waiter([&] {
    C.Lock();
    Entered = true;
    C.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(Entered.load());
  C.Unlock();
  Waiter.join();
  EXPECT_TRUE(Entered.load());
}

TEST(CanvasEvents, ChangingAndChangeSurroundEveryDrawing) {
  TBitmap B;
  B.SetSize(2, 2);
  TCanvas& C = B.Canvas();
  std::string Log;
  auto OldChanging = C.OnChanging;
  C.OnChanging = [&](TObject*) { Log += "<"; };
  C.OnChange = [&](TObject*) { Log += ">"; };
  C.Brush().SetColor(clRed);
  C.FillRect(Rect(0, 0, 1, 1));
  C.SetPixels(1, 1, clBlue);
  TBitmap Other;
  Other.SetSize(1, 1);
  C.Draw(0, 0, &Other);
  C.StretchDraw(Rect(0, 0, 2, 2), &Other);
  EXPECT_EQ(C.Pixels(0, 0), clWhite);  // reading raises nothing
  EXPECT_EQ(Log, "<><><><>");
}

TEST(BitmapCanvas, FillPixelsAndSizing) {
  TBitmap B;
  B.Canvas().Brush().SetColor(clBtnFace);
  B.SetSize(2, 1);
  EXPECT_EQ(B.Canvas().Pixels(1, 0), ColorToRGB(clBtnFace));
  B.Canvas().SetPixels(0, 0, clRed);
  B.Canvas().Brush().SetColor(clLime);
  B.SetWidth(3);  // old pixels stay, the new column takes the brush colour
  EXPECT_EQ(B.Canvas().Pixels(0, 0), clRed);
  EXPECT_EQ(B.Canvas().Pixels(1, 0), ColorToRGB(clBtnFace));
  EXPECT_EQ(B.Canvas().Pixels(2, 0), clLime);
  B.SetHeight(0);
  EXPECT_TRUE(B.Empty());
  EXPECT_EQ(B.Width(), 3);
  EXPECT_EQ(B.Height(), 0);
  // Sizing an empty bitmap side by side: the width is kept until the height arrives.
  TBitmap Fresh;
  Fresh.SetWidth(4);
  Fresh.SetHeight(2);
  EXPECT_EQ(Fresh.Width(), 4);
  EXPECT_EQ(Fresh.Height(), 2);
  EXPECT_FALSE(Fresh.Empty());
  EXPECT_EQ(B.Canvas().Pixels(5, 5), CLR_INVALID);
}

TEST(BitmapCanvas, ResizingKeepsEveryOldRowAndFillsTheNewAreaInEveryFormat) {
  const TPixelFormat Formats[] = {TPixelFormat::pfDevice, TPixelFormat::pf1bit,
                                  TPixelFormat::pf4bit,   TPixelFormat::pf8bit,
                                  TPixelFormat::pf24bit,  TPixelFormat::pf32bit};
  for (TPixelFormat F : Formats) {
    SCOPED_TRACE(static_cast<int>(F));
    TBitmap B;
    B.SetPixelFormat(F);
    B.SetSize(5, 3);
    const TColor Colours[] = {clRed, clWhite, clBlue, clBlack, clLime, clYellow};
    for (int Y = 0; Y < 3; ++Y)
      for (int X = 0; X < 5; ++X) B.Canvas().SetPixels(X, Y, Colours[(X + 2 * Y) % 6]);
    TColor Before[3][5];
    for (int Y = 0; Y < 3; ++Y)
      for (int X = 0; X < 5; ++X) Before[Y][X] = B.Canvas().Pixels(X, Y);
    B.Canvas().Brush().SetColor(clWhite);
    B.SetSize(11, 4);
    for (int Y = 0; Y < 4; ++Y)
      for (int X = 0; X < 11; ++X)
        EXPECT_EQ(B.Canvas().Pixels(X, Y), X < 5 && Y < 3 ? Before[Y][X] : clWhite)
            << X << "," << Y;
    B.SetSize(2, 2);
    for (int Y = 0; Y < 2; ++Y)
      for (int X = 0; X < 2; ++X) EXPECT_EQ(B.Canvas().Pixels(X, Y), Before[Y][X]) << X << "," << Y;
  }
}

TEST(BitmapAssign, CopiesSharePixelsUntilOneIsDrawnOn) {
  TBitmap A;
  A.SetSize(2, 2);
  A.Canvas().SetPixels(0, 0, clRed);
  A.SetTransparentColor(clLime);
  TBitmap B;
  B.Assign(&A);
  EXPECT_EQ(B.Canvas().Pixels(0, 0), clRed);
  EXPECT_EQ(B.TransparentMode(), TTransparentMode::tmFixed);
  B.Canvas().SetPixels(0, 0, clBlue);
  EXPECT_EQ(A.Canvas().Pixels(0, 0), clRed);
  EXPECT_EQ(B.Canvas().Pixels(0, 0), clBlue);
  A.Canvas().SetPixels(1, 1, clYellow);
  EXPECT_EQ(B.Canvas().Pixels(1, 1), clWhite);
  B.Assign(nullptr);
  EXPECT_TRUE(B.Empty());
  EXPECT_EQ(A.Canvas().Pixels(1, 1), clYellow);
}

TEST(BitmapTransparency, AutoTakesBottomLeftFixedTakesTheColour) {
  TBitmap B;
  B.SetSize(2, 2);
  B.Canvas().SetPixels(0, 1, clNavy);
  EXPECT_EQ(B.TransparentMode(), TTransparentMode::tmAuto);
  EXPECT_EQ(B.TransparentColor(), clNavy | PaletteRelativeFlag);
  B.SetTransparentColor(clWindow);
  EXPECT_EQ(B.TransparentMode(), TTransparentMode::tmFixed);
  EXPECT_EQ(B.TransparentColor(), clWhite | PaletteRelativeFlag);
  B.SetTransparentMode(TTransparentMode::tmAuto);
  EXPECT_EQ(B.TransparentColor(), clNavy | PaletteRelativeFlag);
  B.SetMonochrome(true);
  EXPECT_EQ(B.TransparentColor(), clWhite | PaletteRelativeFlag);
}

TEST(BitmapFormats, DeviceConversionMonochromeAndPixelFormats) {
  TDib D(3, 1, 8);
  D.Colors[1] = TRGBQuad{0, 0, 255, 0};
  D.Colors[2] = TRGBQuad{255, 255, 255, 0};
  D.SetRaw(1, 0, 1);
  D.SetRaw(2, 0, 2);
  TMemoryStream S;
  WriteBMP(D, S);
  S.SetPosition(0);
  TBitmap B;
  B.LoadFromStream(S);
  EXPECT_EQ(B.PixelFormat(), TPixelFormat::pf8bit);
  HPALETTE Pal = B.Palette();
  ASSERT_NE(Pal, nullptr);
  EXPECT_EQ(Pal->Entries[1].peRed, 255);

  B.SetHandleType(TBitmapHandleType::bmDDB);
  EXPECT_EQ(B.PixelFormat(), TPixelFormat::pfDevice);
  EXPECT_EQ(B.Canvas().Pixels(1, 0), clRed);
  ASSERT_NE(B.Palette(), nullptr);  // the colours stay known as a palette
  EXPECT_EQ(B.Palette()->Entries[1].peRed, 255);

  B.SetMonochrome(true);  // white becomes 1, everything else 0
  EXPECT_TRUE(B.Monochrome());
  EXPECT_EQ(B.Canvas().Pixels(0, 0), clBlack);
  EXPECT_EQ(B.Canvas().Pixels(1, 0), clBlack);
  EXPECT_EQ(B.Canvas().Pixels(2, 0), clWhite);

  B.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(B.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_FALSE(B.Monochrome());
  EXPECT_EQ(B.Canvas().Pixels(2, 0), clWhite);
  EXPECT_THROW(B.SetPixelFormat(TPixelFormat::pf16bit), EInvalidGraphicOperation);

  // A monochrome picture loaded from a file stays device-independent and 1-bit.
  TDib M(2, 1, 1);
  M.Colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  TMemoryStream MS;
  WriteBMP(M, MS);
  MS.SetPosition(0);
  TBitmap Mono;
  Mono.LoadFromStream(MS);
  EXPECT_EQ(Mono.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_TRUE(Mono.Monochrome());
  EXPECT_EQ(Mono.Palette(), nullptr);
}

TEST(BitmapDraw, StretchDrawUsesCopyModeAndMonochromeShowsBlackAndWhite) {
  TBitmap Src;
  Src.SetSize(1, 1);
  Src.Canvas().SetPixels(0, 0, 0x0F0F0F);
  TBitmap Dst;
  Dst.Canvas().Brush().SetColor(0x3C3C3C);
  Dst.SetSize(2, 2);
  Dst.Canvas().SetCopyMode(SRCPAINT);
  Dst.Canvas().StretchDraw(Rect(0, 0, 2, 1), &Src);
  EXPECT_EQ(Dst.Canvas().Pixels(1, 0), 0x3F3F3Fu);
  EXPECT_EQ(Dst.Canvas().Pixels(1, 1), 0x3C3C3Cu);

  TBitmap Mono;
  Mono.SetSize(2, 1);
  Mono.Canvas().SetPixels(1, 0, clBlack);
  Mono.SetMonochrome(true);
  HDC Dc = Dst.Canvas().Handle();
  SetTextColor(Dc, clRed);  // ignored by the draw
  SetBkColor(Dc, clBlue);
  Dst.Canvas().SetCopyMode(SRCCOPY);
  Dst.Canvas().Draw(0, 1, &Mono);
  EXPECT_EQ(Dst.Canvas().Pixels(0, 1), clWhite);
  EXPECT_EQ(Dst.Canvas().Pixels(1, 1), clBlack);
  EXPECT_EQ(GetTextColor(Dc), clRed);
}

TEST(BitmapDraw, LockingSwitchHoldsTheSourceCanvasWhileDrawing) {
  TBitmap Src;
  Src.SetSize(1, 1);
  TBitmap Dst;
  Dst.SetSize(1, 1);
  SetBitmapDrawLocking(true);
  std::atomic<bool> Blocked{false};
  Src.Canvas().Lock();
  std::thread T([&] {
    Dst.Canvas().Draw(0, 0, &Src);  // waits for the source's canvas lock
    Blocked = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(Blocked.load());
  Src.Canvas().Unlock();
  T.join();
  EXPECT_TRUE(Blocked.load());
  EXPECT_EQ(Src.Canvas().LockCount(), 0);
  SetBitmapDrawLocking(false);
}

TEST(BitmapClipboard, SavesBmpBytesAndLoadsThemBack) {
  TBitmap B;
  B.SetSize(2, 1);
  B.Canvas().SetPixels(1, 0, clTeal);
  TClipboardFormat Format = 0;
  std::vector<uint8_t> Data;
  HPALETTE Pal = nullptr;
  B.SaveToClipboardFormat(Format, Data, Pal);
  EXPECT_EQ(Format, CF_BITMAP);
  EXPECT_EQ(Pal, nullptr);
  ASSERT_GE(Data.size(), 2u);
  EXPECT_EQ(Data[0], 'B');
  TBitmap C;
  C.LoadFromClipboardFormat(Format, Data, nullptr);
  EXPECT_EQ(C.Canvas().Pixels(1, 0), clTeal);
  EXPECT_THROW(C.LoadFromClipboardFormat(0xC123, Data, nullptr), EInvalidGraphic);
}

}  // namespace
}  // namespace orn

namespace orn {
namespace {

TEST(GraphicNotifications, SettingsRaiseOneChangeEachAndOnlyWhenTheyChange) {
  TBitmap B;
  int Changes = 0;
  B.OnChange = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &B);
    ++Changes;
  };
  B.SetTransparent(true);
  B.SetTransparent(true);
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(B.Modified());
  B.SetModified(false);
  EXPECT_EQ(Changes, 1);
  EXPECT_FALSE(B.Modified());
  B.SetTransparentColor(clRed);
  B.SetTransparentColor(clRed);
  EXPECT_EQ(Changes, 2);
  B.SetSize(1, 1);
  EXPECT_EQ(Changes, 3);
  B.SetModified(true);
  EXPECT_EQ(Changes, 4);
  B.SetPalette(CreatePalette({{1, 2, 3, 0}}));  // the bitmap owns it from here
  EXPECT_EQ(Changes, 5);
  EXPECT_TRUE(B.PaletteModified());
}

}  // namespace
}  // namespace orn

// Converting bitmaps of every depth to the display's 32-bit form keeps the colour every pixel
// shows: odd widths that end inside a byte, short colour tables, reserved bytes, monochrome
// device bitmaps.
#include <gtest/gtest.h>

#include <random>

#include "gfx/bitmap.h"
#include "gfx/gdi.h"

namespace orn {
namespace {

struct TSourceKind {
  int BitCount;
  bool IsDIB;
  size_t TableSize;  // entries kept of the colour table (indexed DIBs)
};

// The colour each pixel of B shows, top row first.
std::vector<TColor> Shown(const TGdiBitmap& B) {
  std::vector<TColor> Out;
  for (int Y = 0; Y < B.Dib.Height; ++Y)
    for (int X = 0; X < B.Dib.Width; ++X)
      Out.push_back(B.Dib.BitCount == 1 && !B.IsDIB ? (B.Dib.Raw(X, Y) ? clWhite : clBlack)
                                                    : B.Dib.PixelColor(X, Y));
  return Out;
}

HBITMAP RandomBitmap(std::mt19937& Rng, const TSourceKind& K, int W, int H) {
  auto* B = new TGdiBitmap;
  B->Dib = TDib(W, H, K.BitCount);
  B->IsDIB = K.IsDIB;
  for (TRGBQuad& Q : B->Dib.Colors)
    Q = TRGBQuad{static_cast<uint8_t>(Rng()), static_cast<uint8_t>(Rng()),
                 static_cast<uint8_t>(Rng()), static_cast<uint8_t>(Rng())};
  if (!K.IsDIB)
    B->Dib.Colors.clear();
  else if (K.BitCount <= 8)
    B->Dib.Colors.resize(K.TableSize);
  // Every stored byte random: padding, reserved bytes and indexes past a short table included.
  for (uint8_t& Byte : B->Dib.Bits) Byte = static_cast<uint8_t>(Rng());
  return B;
}

TEST(BitmapConversion, DeviceFormKeepsTheShownColourOfEveryPixel) {
  const TSourceKind Kinds[] = {{1, false, 0},  {1, true, 2},  {4, true, 16}, {4, true, 5},
                               {8, true, 256}, {8, true, 40}, {24, true, 0}, {32, true, 0}};
  std::mt19937 Rng(7);
  for (const TSourceKind& K : Kinds) {
    for (int W : {1, 2, 3, 7, 8, 9, 15, 16, 17, 33}) {
      SCOPED_TRACE(testing::Message() << K.BitCount << (K.IsDIB ? " dib" : " ddb") << " table "
                                      << K.TableSize << " width " << W);
      const int H = 1 + W % 4;
      HBITMAP Source = RandomBitmap(Rng, K, W, H);
      const std::vector<TColor> Expected = Shown(*Source);

      TBitmap B;
      B.SetHandle(Source);
      if (K.BitCount == 1)
        B.SetMonochrome(false);  // 1-bit pictures stay monochrome in the device form
      else
        B.SetHandleType(TBitmapHandleType::bmDDB);
      HBITMAP Converted = B.Handle();
      ASSERT_EQ(Converted->Dib.BitCount, 32);
      EXPECT_FALSE(Converted->IsDIB);
      EXPECT_EQ(Shown(*Converted), Expected);

      // And back to a 32-bit device-independent picture: the same colours again.
      B.SetPixelFormat(TPixelFormat::pf32bit);
      EXPECT_EQ(Shown(*B.Handle()), Expected);
    }
  }
}

TEST(BitmapConversion, GetDIBitsGivesTheShownColoursOfEveryDepthAsRowsOf24And32Bits) {
  const TSourceKind Kinds[] = {{1, false, 0}, {1, true, 2},   {4, true, 16},
                               {4, true, 5},  {8, true, 256}, {8, true, 40},
                               {24, true, 0}, {32, true, 0},  {32, false, 0}};
  std::mt19937 Rng(11);
  for (const TSourceKind& K : Kinds) {
    for (int W : {1, 3, 8, 13}) {
      const int H = 3;
      HBITMAP B = RandomBitmap(Rng, K, W, H);
      const std::vector<TColor> Expected = Shown(*B);
      for (int Want : {24, 32}) {
        SCOPED_TRACE(testing::Message() << K.BitCount << (K.IsDIB ? " dib" : " ddb") << " table "
                                        << K.TableSize << " width " << W << " as " << Want);
        TBitmapInfoHeader Info;
        Info.biBitCount = static_cast<uint16_t>(Want);
        const int Stride = TDib::StrideOf(W, Want);
        std::vector<uint8_t> Rows(static_cast<size_t>(Stride) * H, 0xEE);
        ASSERT_EQ(GetDIBits(nullptr, B, 0, H, Rows.data(), Info, nullptr), H);
        for (int Y = 0; Y < H; ++Y)
          for (int X = 0; X < W; ++X) {
            const uint8_t* P = &Rows[static_cast<size_t>((H - 1 - Y) * Stride + X * (Want / 8))];
            EXPECT_EQ(RGB(P[2], P[1], P[0]), Expected[static_cast<size_t>(Y * W + X)])
                << X << "," << Y;
            if (Want == 32) {
              EXPECT_EQ(P[3], 0);
            }
          }
        // Row padding is cleared.
        for (int Y = 0; Y < H; ++Y)
          for (int I = W * Want / 8; I < Stride; ++I)
            EXPECT_EQ(Rows[static_cast<size_t>(Y * Stride + I)], 0);
      }
      DeleteObject(B);
    }
  }
}

}  // namespace
}  // namespace orn

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

}  // namespace
}  // namespace orn

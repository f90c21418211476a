#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "gfx/guards.h"

namespace orn {
namespace {

TEST(GdiGuards, ARaiseInsideTheScopeLeavesTheContextAsItWas) {
  TMemoryDC Dc;
  ASSERT_NE(Dc.Handle(), nullptr);
  TOwnedBitmap Target(CreateBitmap(8, 6, 1, 32));
  TOwnedPalette Palette(CreatePalette({{255, 0, 0, 0}, {0, 0, 255, 0}}));
  const HBITMAP FirstBitmap = GetCurrentBitmap(Dc);
  const HPALETTE FirstPalette = Dc.Handle()->State.Palette;
  try {
    TBitmapSelection Bitmap(Dc, Target.get());
    TPaletteSelection Selected(Dc, Palette.get(), false);
    TSavedDC Saved(Dc);
    SetViewportOrgEx(Dc, 5, 7, nullptr);
    IntersectClipRect(Dc, 0, 0, 2, 2);
    ASSERT_EQ(GetCurrentBitmap(Dc), Target.get());
    ASSERT_EQ(Dc.Handle()->State.Palette, Palette.get());
    throw EInvalidGraphic("drawing failed");
  } catch (const EInvalidGraphic&) {
  }
  EXPECT_EQ(GetCurrentBitmap(Dc), FirstBitmap);
  EXPECT_EQ(Dc.Handle()->State.Palette, FirstPalette);
  EXPECT_TRUE(Dc.Handle()->Saved.empty());
  TPoint Org;
  GetViewportOrgEx(Dc, Org);
  EXPECT_EQ(Org, TPoint{});
  EXPECT_FALSE(Dc.Handle()->State.Clip.has_value());
}

TEST(GdiGuards, ANullPaletteSelectsNothing) {
  TMemoryDC Dc;
  const HPALETTE FirstPalette = Dc.Handle()->State.Palette;
  {
    TPaletteSelection None(Dc, nullptr, true);
    EXPECT_EQ(Dc.Handle()->State.Palette, FirstPalette);
    EXPECT_FALSE(Dc.Handle()->State.PaletteBackground);
  }
  EXPECT_EQ(Dc.Handle()->State.Palette, FirstPalette);
}

}  // namespace
}  // namespace orn

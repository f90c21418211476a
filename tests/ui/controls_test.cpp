#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "gfx/guards.h"
#include "ui_fixture.h"

namespace orn::testing {
namespace {

// Draws like a probe, then raises.
class TFailingControl : public TProbeControl {
 public:
  using TProbeControl::TProbeControl;

 protected:
  void Paint() override {
    TProbeControl::Paint();
    throw EInvalidGraphic("paint failed");
  }
};

TEST_F(UITest, APaintThatRaisesLeavesTheContextAndTheControlsCanvasAsTheyWere) {
  TOwnedBitmap Bitmap(CreateBitmap(20, 20, 1, 32));
  TMemoryDC Dc;
  TBitmapSelection Selected(Dc, Bitmap.get());
  TForm Form(nullptr);
  auto* Failing = new TFailingControl(&Form, clRed, clLime);
  Failing->SetBounds(3, 4, 5, 6);
  Failing->SetParent(&Form);

  EXPECT_THROW(Form.PaintControls(Dc, nullptr), EInvalidGraphic);
  EXPECT_EQ(Failing->Paints, 1);
  EXPECT_EQ(GetPixel(Dc, 3, 4), clLime);  // it did draw before it raised
  // The context's origin and clip are back, with no saved state left over.
  TPoint Org;
  GetViewportOrgEx(Dc, Org);
  EXPECT_EQ(Org, TPoint{});
  TRect Box;
  GetClipBox(Dc, Box);
  EXPECT_EQ(Box, Rect(0, 0, 20, 20));
  EXPECT_TRUE(Dc.Handle()->Saved.empty());
  // The control's canvas is unlocked and no longer points at the paint target.
  EXPECT_EQ(Failing->Canvas().LockCount(), 0);
  EXPECT_FALSE(Failing->Canvas().HandleAllocated());
}

TEST_F(UITest, AWindowContextPresentsWhatWasDrawnWhenItsScopeEnds) {
  TForm Form(nullptr);
  Form.SetBorderStyle(TFormBorderStyle::bsNone);
  Form.SetBounds(0, 0, 10, 10);
  Form.SetColor(clWhite);
  Form.Show();
  const HWND W = Form.Handle();
  {
    TWindowDC Dc(W);
    ASSERT_NE(Dc.Handle(), nullptr);
    FillRect(Dc.Handle(), Rect(2, 2, 4, 4), clMaroon);
  }
  EXPECT_EQ(Backend->PixelAt(W, 3, 3), clMaroon);
  EXPECT_EQ(Backend->PixelAt(W, 5, 5), clWhite);
  EXPECT_EQ(TWindowDC(0x7777).Handle(), nullptr);
}

}  // namespace
}  // namespace orn::testing

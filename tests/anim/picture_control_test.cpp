// The picture control base: off-screen painting, painting from a worker thread, the palette
// notice to the parent form, and the copy of what lies behind a windowless control.
#include "anim/picture_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "anim/copy_parent_background.h"
#include "anim_support.h"
#include "core/exceptions.h"
#include "core/system.h"
#include "ui/forms.h"

namespace orn {
namespace {

using animtest::Backend;

const TColor FormColor = RGB(10, 20, 30);

// Draws a fixed colour over its whole area, or runs a hook; counts its drawings.
class TTestPicture : public TPictureControl {
 public:
  explicit TTestPicture(TComponent* AOwner) : TPictureControl(AOwner) { FShownGraphic = &Graphic; }
  ~TTestPicture() override { FShownGraphic = nullptr; }
  HPALETTE GetPalette() override { return PaletteOn ? GetStockPalette() : nullptr; }
  using TPictureControl::FBufferedPass;
  using TPictureControl::PictureUpdated;

  TColor Fill = clRed;
  bool PaletteOn = true;
  int Draws = 0;
  std::function<void(TPictureControl&)> Hook;
  TBitmap Graphic;

 protected:
  void Paint() override { PaintContent(); }
  void DrawPicture() override {
    ++Draws;
    EXPECT_TRUE(InPaint());
    if (Hook) Hook(*this);
    if (Fill == clNone) return;
    Canvas().Brush().SetColor(Fill);
    Canvas().FillRect(Rect(1, 1, Width() - 1, Height() - 1));
  }
};

// Records the palette notices it receives.
class TRecordingForm : public TForm {
 public:
  explicit TRecordingForm(TComponent* AOwner) : TForm(AOwner) {}
  int PaletteNotices = 0;

 protected:
  void Dispatch(TMessage& Message) override {
    if (Message.Msg == WM_QUERYNEWPALETTE) ++PaletteNotices;
    TForm::Dispatch(Message);
  }
};

class PictureControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Backend();
    Form = std::make_unique<TRecordingForm>(nullptr);
    Form->SetBorderStyle(TFormBorderStyle::bsNone);
    Form->SetBounds(0, 0, 20, 20);
    Form->SetColor(FormColor);
    Pic = new TTestPicture(Form.get());
    Pic->SetParent(Form.get());
    Pic->SetBounds(4, 4, 6, 6);
    Form->SetVisible(true);
    Backend().Drain();
  }
  void TearDown() override { Form.reset(); }
  TColor Px(int X, int Y) { return Backend().PixelAt(Form->Handle(), X, Y); }

  std::unique_ptr<TRecordingForm> Form;
  TTestPicture* Pic = nullptr;
};

TEST_F(PictureControlTest, ConstructionDefaults) {
  TTestPicture Fresh(nullptr);
  EXPECT_EQ(Fresh.Width(), 105);
  EXPECT_EQ(Fresh.Height(), 105);
  EXPECT_TRUE(Fresh.ParentColor());
  const TControlStyle Wanted =
      csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks | csReplicatable;
  EXPECT_EQ(Fresh.ControlStyle() & Wanted, Wanted);
}

TEST_F(PictureControlTest, PaintsItsColourThenThePictureThroughOneBuffer) {
  EXPECT_EQ(Px(4, 4), FormColor) << "the control's colour (its parent's) around the picture";
  EXPECT_EQ(Px(5, 5), clRed);
  EXPECT_EQ(Px(3, 3), FormColor);
  EXPECT_EQ(Px(10, 10), FormColor);
  EXPECT_FALSE(Pic->InPaint());
  EXPECT_FALSE(Pic->FBufferedPass);
}

TEST_F(PictureControlTest, PaintWithoutAContextPaintsNothing) {
  const int Before = Pic->Draws;
  Pic->Perform(WM_PAINT, 0, 0);
  EXPECT_EQ(Pic->Draws, Before);
}

TEST_F(PictureControlTest, NestedPaintDuringTheBufferedPassGoesStraightThrough) {
  int Nested = 0;
  HDC Seen = nullptr, NestedDc = nullptr;
  Pic->Hook = [&](TPictureControl& C) {
    if (Nested++ > 0) {
      NestedDc = C.Canvas().Handle();
      return;
    }
    Seen = C.Canvas().Handle();
    // Painting into the same context again must not make a second buffer: the nested pass
    // draws straight into this one (and detaches the canvas when it is done).
    C.Perform(WM_PAINT, reinterpret_cast<WPARAM>(Seen), 0);
    Pic->Fill = clNone;
  };
  Form->PaintNow();
  EXPECT_EQ(NestedDc, Seen);
  EXPECT_EQ(Nested, 2);
  EXPECT_EQ(Px(5, 5), clRed);
}

TEST_F(PictureControlTest, FailingDrawLeavesFlagsAndLocksAsTheyWere) {
  Pic->Hook = [](TPictureControl&) { throw EInvalidGraphicOperation("draw failed"); };
  EXPECT_THROW(Form->PaintNow(), EInvalidGraphicOperation);
  EXPECT_FALSE(Pic->InPaint());
  EXPECT_FALSE(Pic->FBufferedPass);
  EXPECT_EQ(Pic->Canvas().LockCount(), 0);
  Pic->Hook = nullptr;
  Pic->Fill = clBlue;
  Form->PaintNow();
  EXPECT_EQ(Px(5, 5), clBlue);
}

TEST_F(PictureControlTest, PaintFromAWorkerTouchesOnlyTheControlsRectangle) {
  // The form's kept surface gets a colour the control would never paint, outside its area.
  HDC Surface = GetDC(Form->Handle());
  FillRect(Surface, Rect(0, 0, 20, 20), clYellow);
  ReleaseDC(Form->Handle(), Surface);
  ASSERT_EQ(Px(0, 0), clYellow);
  Pic->Fill = clLime;
  std::thread Worker([&] { Pic->PaintFromAnyThread(); });
  Worker.join();
  EXPECT_EQ(Px(5, 5), clLime);
  EXPECT_EQ(Px(4, 4), FormColor);
  EXPECT_EQ(Px(3, 3), clYellow) << "outside the control nothing changes";
  EXPECT_EQ(Px(10, 5), clYellow);
  EXPECT_EQ(Px(5, 10), clYellow);
}

TEST_F(PictureControlTest, PaintFromTheGUIThreadRepaintsAtOnce) {
  Pic->Fill = clLime;
  Pic->PaintFromAnyThread();
  EXPECT_EQ(Px(5, 5), clLime);
}

TEST_F(PictureControlTest, PaletteNoticeWaitsForAnActiveFormAndIsSentDuringAPaint) {
  Pic->Graphic.SetPaletteModified(true);
  Screen()->SetActiveForm(nullptr);
  Pic->PictureUpdated();
  Backend().Drain();
  EXPECT_EQ(Form->PaletteNotices, 0);
  EXPECT_TRUE(Pic->Graphic.PaletteModified()) << "kept for a later try";

  Screen()->SetActiveForm(Form.get());
  Pic->PictureUpdated();
  EXPECT_EQ(Form->PaletteNotices, 0) << "posted outside a paint";
  EXPECT_FALSE(Pic->Graphic.PaletteModified());
  Backend().Drain();
  EXPECT_EQ(Form->PaletteNotices, 1);

  // Inside the drawing: sent at once, followed by an immediate update, no invalidation.
  int NoticesInDraw = -1;
  Pic->Hook = [&](TPictureControl&) {
    if (NoticesInDraw >= 0) return;
    Pic->Graphic.SetPaletteModified(true);
    Pic->PictureUpdated();
    NoticesInDraw = Form->PaletteNotices;
  };
  Form->PaintNow();
  EXPECT_EQ(NoticesInDraw, 2);
  EXPECT_FALSE(Form->PaintPending()) << "a change during the drawing asks for no further paint";

  // Without a palette the flag is simply cleared.
  Pic->Hook = nullptr;
  Pic->PaletteOn = false;
  Pic->Graphic.SetPaletteModified(true);
  Pic->PictureUpdated();
  Backend().Drain();
  EXPECT_FALSE(Pic->Graphic.PaletteModified());
  EXPECT_EQ(Form->PaletteNotices, 2);
}

TEST_F(PictureControlTest, LockIsReentrantAndServesTheGUIQueueWhileWaiting) {
  Pic->EnterLock();
  Pic->EnterLock();
  Pic->LeaveLock();
  Pic->LeaveLock();
  // A worker holds the lock and needs the GUI thread before it lets go.
  std::atomic<bool> Held{false};
  bool RanOnGUI = false;
  std::thread Worker([&] {
    Pic->EnterLock();
    Held = true;
    SystemServices().RunOnGUIThread([&] { RanOnGUI = true; });
    Pic->LeaveLock();
  });
  while (!Held) std::this_thread::yield();
  Pic->EnterLock();  // must not deadlock
  Pic->LeaveLock();
  Worker.join();
  EXPECT_TRUE(RanOnGUI);
}

// CopyParentBackground: the parent's background and content, then the windowless siblings
// below the control, each at its own place; the control's own area is not painted.
TEST_F(PictureControlTest, ParentBackgroundIncludesOnlySiblingsBelow) {
  Form->OnPaint = [this](TObject*) {
    Form->Canvas().Brush().SetColor(clYellow);
    Form->Canvas().FillRect(Rect(0, 0, 4, 20));
  };
  auto* Below = new TTestPicture(Form.get());
  Below->SetParent(Form.get());
  Below->SetBounds(8, 0, 4, 20);
  Below->Fill = clBlue;
  // Move the picture control above the new sibling in the stacking order.
  Pic->SetParent(nullptr);
  Pic->SetParent(Form.get());
  auto* Above = new TTestPicture(Form.get());
  Above->SetParent(Form.get());
  Above->SetBounds(4, 0, 2, 20);
  Above->Fill = clLime;
  bool SiblingFlagged = false;
  Below->Hook = [&](TPictureControl& C) {
    SiblingFlagged = SiblingFlagged || (C.ControlState() & csPaintCopy) != 0;
  };
  Pic->Fill = clNone;  // draw nothing of its own over the copy
  Pic->SetBounds(2, 2, 10, 4);
  // Read the copy straight from the control's paint: render it into a bitmap of its own.
  TBitmap Copy;
  Copy.SetSize(10, 4);
  Pic->Hook = [&](TPictureControl& C) {
    CopyParentBackground(&C, C.Canvas());
    BitBlt(Copy.Canvas().Handle(), 0, 0, 10, 4, C.Canvas().Handle(), 0, 0, SRCCOPY);
  };
  Form->PaintNow();
  EXPECT_TRUE(SiblingFlagged);
  EXPECT_EQ(Form->ControlState() & csPaintCopy, 0u) << "the parent's flag is cleared again";
  EXPECT_EQ(Below->ControlState() & csPaintCopy, 0u);
  EXPECT_EQ(Copy.Canvas().Pixels(0, 0), clYellow) << "parent content at x = 2";
  EXPECT_EQ(Copy.Canvas().Pixels(4, 0), FormColor) << "parent background at x = 6";
  EXPECT_EQ(Copy.Canvas().Pixels(7, 1), clBlue) << "sibling below at x = 9";
  EXPECT_EQ(Copy.Canvas().Pixels(2, 1), FormColor) << "the sibling above is not copied";
}

TEST(CopyParentBackgroundTest, NothingWithoutControlOrParent) {
  Backend();
  TTestPicture Orphan(nullptr);
  TCanvas Canvas;
  CopyParentBackground(nullptr, Canvas);
  CopyParentBackground(&Orphan, Canvas);
  EXPECT_FALSE(Canvas.HandleAllocated());
}

}  // namespace
}  // namespace orn

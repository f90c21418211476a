// TPictureControl: the base of windowless controls that show a picture. It paints through an
// off-screen bitmap of the control's client size (so a changing picture never flickers), can
// paint at once from any thread, tells the parent form when the picture's palette changed,
// and gives its subclass a re-entrant lock for the subclass's state.
#pragma once

#include <atomic>

#include "core/sync.h"
#include "gfx/graphic.h"
#include "ui/controls.h"

namespace orn {

class TPictureControl : public TGraphicControl {
 public:
  explicit TPictureControl(TComponent* AOwner);
  ~TPictureControl() override;
  std::string ClassName() const override { return "TPictureControl"; }

  // The control's lock; a thread that holds it may enter again, each enter needs one leave.
  // On the GUI thread, waiting for it keeps serving the calls other threads hand to the GUI
  // thread, so a worker that holds the lock while it waits for the GUI thread cannot
  // deadlock against it.
  void EnterLock();
  void LeaveLock();

  // Paints the control now, from whatever thread calls: on the GUI thread an immediate
  // repaint; on any other thread straight into the parent window's device context, clipped to
  // the control's rectangle, through the off-screen painting.
  void PaintFromAnyThread();

  // Makes every bitmap draw of the process hold the drawn bitmap's canvas lock from now on.
  // Later calls do nothing; the switch is never undone.
  static void InstallLockedBitmapDraw();

  bool InPaint() const { return FInPaint; }

 protected:
  // Fills the client area with the control's colour, then draws the picture.
  void PaintContent();
  // Draws the picture on the control's canvas; called only from PaintContent.
  virtual void DrawPicture() = 0;
  // Tells the parent form that the palette of the shown graphic changed; answers whether a
  // notice went out.
  bool NotifyPaletteChange();
  // What a subclass calls after its picture or a drawing setting changed.
  void PictureUpdated();

  void WMPaint(TMessage& Message) override;

  // Read by the GUI thread while a worker may be painting the control.
  std::atomic<bool> FInPaint{false};
  bool FBufferedPass = false;
  TCriticalSection FPaintLock;
  // The picture the control shows; set and owned by the subclass.
  TGraphic* FShownGraphic = nullptr;
};

}  // namespace orn

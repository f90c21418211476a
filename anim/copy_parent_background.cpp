#include "anim/copy_parent_background.h"

#include <vector>

namespace orn {

namespace {

// Sets a control state bit for the lifetime of the object (also when painting fails).
class TPaintCopyFlag {
 public:
  explicit TPaintCopyFlag(TControl* Control) : FControl(Control) {
    FControl->SetControlState(FControl->ControlState() | csPaintCopy);
  }
  ~TPaintCopyFlag() { FControl->SetControlState(FControl->ControlState() & ~csPaintCopy); }
  TPaintCopyFlag(const TPaintCopyFlag&) = delete;
  TPaintCopyFlag& operator=(const TPaintCopyFlag&) = delete;

 private:
  TControl* FControl;
};

// Restores the saved state of a device context for the lifetime of the object.
class TSavedDC {
 public:
  explicit TSavedDC(HDC Dc) : FDc(Dc), FLevel(SaveDC(Dc)) {}
  ~TSavedDC() { RestoreDC(FDc, FLevel); }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC FDc;
  int FLevel;
};

}  // namespace

void CopyParentBackground(TControl* Control, TCanvas& Canvas) {
  if (Control == nullptr || Control->Parent() == nullptr) return;
  TWinControl* Parent = Control->Parent();
  HDC Dc = Canvas.Handle();
  if (Dc == nullptr) return;
  // Offsets are taken from the context's own origin, which is the control's top-left corner.
  TPoint Org;
  GetViewportOrgEx(Dc, Org);
  TPaintCopyFlag ParentFlag(Parent);
  {
    TSavedDC Saved(Dc);
    SetViewportOrgEx(Dc, Org.X - Control->Left(), Org.Y - Control->Top(), nullptr);
    IntersectClipRect(Dc, 0, 0, Parent->ClientWidth(), Parent->ClientHeight());
    Parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(Dc), 0);
    Parent->PaintWindow(Dc);
  }
  const TRect Own = Control->BoundsRect();
  // Only the controls below this one in the stacking order show through it.
  std::vector<TControl*> Below;
  for (int I = 0; I < Parent->ControlCount(); ++I) {
    TControl* Sibling = Parent->Controls(I);
    if (Sibling == Control) break;
    Below.push_back(Sibling);
  }
  for (TControl* Sibling : Below) {
    if (Sibling->IsWindowed() || !Sibling->Visible()) continue;
    TRect Overlap;
    if (!IntersectRect(Overlap, Sibling->BoundsRect(), Own)) continue;
    TPaintCopyFlag SiblingFlag(Sibling);
    TSavedDC Saved(Dc);
    SetViewportOrgEx(Dc, Org.X + Sibling->Left() - Control->Left(),
                     Org.Y + Sibling->Top() - Control->Top(), nullptr);
    IntersectClipRect(Dc, 0, 0, Sibling->Width(), Sibling->Height());
    Sibling->Perform(WM_PAINT, reinterpret_cast<WPARAM>(Dc), 0);
  }
}

}  // namespace orn

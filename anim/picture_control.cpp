#include "anim/picture_control.h"

#include <atomic>

#include "anim/threaded_timer.h"
#include "core/system.h"
#include "gfx/bitmap.h"
#include "ui/forms.h"

namespace orn {

TPictureControl::TPictureControl(TComponent* AOwner) : TGraphicControl(AOwner) {
  // The control paints every pixel of its area itself (opaque), so its parent paints nothing
  // underneath it.
  SetControlStyle(ControlStyle() | csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks |
                  csReplicatable);
  SetHeight(105);
  SetWidth(105);
  SetParentColor(true);
}

TPictureControl::~TPictureControl() = default;

void TPictureControl::EnterLock() {
  if (FPaintLock.TryEnter()) return;
  AcquireServingGUIThread([this] { return FPaintLock.TryEnter(); }, [this] { FPaintLock.Enter(); });
}

void TPictureControl::LeaveLock() {
  FPaintLock.Leave();
}

void TPictureControl::PaintContent() {
  TCanvas& C = Canvas();
  C.Brush().SetColor(Color());
  C.FillRect(Rect(0, 0, ClientWidth(), ClientHeight()));
  const bool WasInPaint = FInPaint;
  FInPaint = true;
  try {
    DrawPicture();
  } catch (...) {
    FInPaint = WasInPaint;
    throw;
  }
  FInPaint = WasInPaint;
}

void TPictureControl::WMPaint(TMessage& Message) {
  // The canvas lock is taken before the pass flag is looked at: a worker painting the control
  // holds it while its own pass runs, and the flag belongs to that pass.
  TCanvas& C = Canvas();
  C.Lock();
  if (FBufferedPass) {
    try {
      TGraphicControl::WMPaint(Message);
    } catch (...) {
      C.Unlock();
      throw;
    }
    C.Unlock();
    return;
  }
  HDC Target = reinterpret_cast<HDC>(Message.WParam);
  if (Target == nullptr) {
    C.Unlock();
    return;
  }
  const int W = ClientWidth(), H = ClientHeight();
  // A bitmap compatible with the screen, of the client size, selected into a memory context.
  HBITMAP Buffer = CreateCompatibleBitmap(nullptr, W, H);
  HDC MemDc = CreateCompatibleDC(nullptr);
  HBITMAP OldBitmap = SelectObject(MemDc, Buffer);
  auto Cleanup = [&] {
    SelectObject(MemDc, OldBitmap);
    DeleteDC(MemDc);
    DeleteObject(Buffer);
    C.Unlock();
  };
  try {
    FBufferedPass = true;
    try {
      Message.WParam = reinterpret_cast<WPARAM>(MemDc);
      WndProc(Message);
      Message.WParam = 0;
    } catch (...) {
      Message.WParam = 0;
      FBufferedPass = false;
      throw;
    }
    FBufferedPass = false;
    BitBlt(Target, 0, 0, W, H, MemDc, 0, 0, SRCCOPY);
  } catch (...) {
    Cleanup();
    throw;
  }
  Cleanup();
}

void TPictureControl::PaintFromAnyThread() {
  if (SystemServices().IsGUIThread()) {
    Repaint();
    return;
  }
  // The nearest parent with a window of its own, and the control's place in it.
  TWinControl* Host = Parent();
  int Left = this->Left(), Top = this->Top();
  while (Host != nullptr && !Host->HandleAllocated()) {
    Left += Host->Left();
    Top += Host->Top();
    Host = Host->Parent();
  }
  if (Host == nullptr) return;
  const HWND Wnd = Host->Handle();
  HDC Dc = GetDC(Wnd);
  if (Dc == nullptr) return;
  try {
    IntersectClipRect(Dc, Left, Top, Left + Width(), Top + Height());
    SetWindowOrgEx(Dc, -Left, -Top, nullptr);
    Perform(WM_PAINT, reinterpret_cast<WPARAM>(Dc), 0);
  } catch (...) {
    ReleaseDC(Wnd, Dc);
    throw;
  }
  ReleaseDC(Wnd, Dc);
}

bool TPictureControl::NotifyPaletteChange() {
  if (!Visible() || InState(TComponentStateItem::csLoading) || FShownGraphic == nullptr ||
      !FShownGraphic->PaletteModified())
    return false;
  if (GetPalette() == nullptr) {
    FShownGraphic->SetPaletteModified(false);
    return false;
  }
  TCustomForm* Form = GetParentForm(this);
  // Without an active form with a window the flag stays set, so a later call tries again.
  if (Form == nullptr || !Form->Active() || !Form->HandleAllocated()) return false;
  if (FInPaint)
    SendMessage(Form->Handle(), WM_QUERYNEWPALETTE, 0, 0);
  else
    PostMessage(Form->Handle(), WM_QUERYNEWPALETTE, 0, 0);
  FShownGraphic->SetPaletteModified(false);
  return true;
}

void TPictureControl::PictureUpdated() {
  if (InState(TComponentStateItem::csDestroying)) return;
  AdjustSize();
  if (FShownGraphic != nullptr && NotifyPaletteChange() && FInPaint) Update();
  if (!FInPaint) Invalidate();
}

void TPictureControl::InstallLockedBitmapDraw() {
  static std::atomic<bool> Installed{false};
  if (Installed.exchange(true)) return;
  SetBitmapDrawLocking(true);
}

}  // namespace orn

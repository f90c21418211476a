#include "gfx/canvas.h"

#include "core/exceptions.h"
#include "gfx/graphic.h"

namespace orn {

void TBrush::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  if (OnChange) OnChange(nullptr);
}

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

HDC TCanvas::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

void TCanvas::SetHandle(HDC Dc) {
  FHandle = Dc;
}

HDC TCanvas::RequireHandle() {
  HDC Dc = Handle();
  if (!Dc) throw EInvalidGraphicOperation("Canvas does not allow drawing");
  SetDCBrushColor(Dc, ColorToRGB(FBrush.Color()));
  return Dc;
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::FillRect(const TRect& Rect) {
  Changing();
  HDC Dc = RequireHandle();
  orn::FillRect(Dc, Rect, ColorToRGB(FBrush.Color()));
  Changed();
}

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequireHandle();
  Graphic->Draw(*this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  if (!Graphic) return;
  Changing();
  RequireHandle();
  Graphic->Draw(*this, Rect);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas& Canvas, const TRect& Source) {
  Changing();
  HDC Dc = RequireHandle();
  HDC Src = Canvas.RequireHandle();
  StretchBlt(Dc, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Src, Source.Left, Source.Top,
             Source.Width(), Source.Height(), FCopyMode);
  Changed();
}

TColor TCanvas::Pixels(int X, int Y) {
  return GetPixel(RequireHandle(), X, Y);
}

void TCanvas::SetPixels(int X, int Y, TColor Color) {
  Changing();
  SetPixel(RequireHandle(), X, Y, ColorToRGB(Color));
  Changed();
}

void TCanvas::Lock() {
  FLock.lock();
  ++FLockCount;
}

void TCanvas::Unlock() {
  --FLockCount;
  FLock.unlock();
}

bool TCanvas::TryLock() {
  if (!FLock.try_lock()) return false;
  ++FLockCount;
  return true;
}

}  // namespace orn

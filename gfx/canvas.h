// TCanvas: a drawing surface over a device context, with a solid brush, a copy mode, pixel
// access, a re-entrant lock and notifications raised before and after each drawing operation.
#pragma once

#include <atomic>
#include <mutex>

#include "core/classes.h"
#include "gfx/colors.h"
#include "gfx/gdi.h"

namespace orn {

class TGraphic;

class TBrush {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TNotifyEvent OnChange;

 private:
  TColor FColor = clWhite;
};

using TCopyMode = uint32_t;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  std::string ClassName() const override { return "TCanvas"; }

  // The device context, created on demand by CreateHandle. Not owned by the base class: a
  // subclass that creates one also frees it.
  HDC Handle();
  // Attaches Dc (0 detaches). The canvas does not take ownership.
  void SetHandle(HDC Dc);
  bool HandleAllocated() const { return FHandle != nullptr; }

  TBrush& Brush() { return FBrush; }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }

  // Fills Rect with the brush colour.
  void FillRect(const TRect& Rect);
  // Draws Graphic at its own size with its top-left corner at (X, Y); nothing for an empty or
  // missing graphic.
  void Draw(int X, int Y, TGraphic* Graphic);
  // Draws Graphic stretched into Rect.
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);
  // Copies Source of Canvas stretched into Dest with the copy mode.
  void CopyRect(const TRect& Dest, TCanvas& Canvas, const TRect& Source);
  // The colour of a pixel (CLR_INVALID outside the surface); writing sets it.
  TColor Pixels(int X, int Y);
  void SetPixels(int X, int Y, TColor Color);

  // A lock one thread may take several times; each Lock needs one Unlock.
  void Lock();
  void Unlock();
  bool TryLock();
  int LockCount() const { return FLockCount.load(); }

  // Raised before and after every drawing operation of the canvas.
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

 protected:
  virtual void CreateHandle() {}
  virtual void Changing();
  virtual void Changed();
  // Makes sure a context exists and carries the brush colour; raises
  // EInvalidGraphicOperation "Canvas does not allow drawing" when none can be had.
  HDC RequireHandle();

  HDC FHandle = nullptr;

 private:
  TBrush FBrush;
  TCopyMode FCopyMode = SRCCOPY;
  std::recursive_mutex FLock;
  std::atomic<int> FLockCount{0};
};

}  // namespace orn

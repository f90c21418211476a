// Scope guards of the graphics layer. Each undoes one step when it goes out of scope (deletes a
// context, selects back what was selected, restores a saved state, unlocks or detaches a
// canvas), so a drawing routine that raises leaves nothing behind.
#pragma once

#include "gfx/canvas.h"
#include "gfx/gdi.h"

namespace orn {

// A memory context compatible with Dc (0: the screen), deleted with the object. Converts to
// its handle, so it can be passed where an HDC is expected.
class TMemoryDC {
 public:
  explicit TMemoryDC(HDC Dc = nullptr) : FDc(CreateCompatibleDC(Dc)) {}
  ~TMemoryDC() { DeleteDC(FDc); }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;

  HDC Handle() const { return FDc; }
  operator HDC() const { return FDc; }

 private:
  HDC FDc;
};

// Selects Bitmap into Dc and selects the bitmap it replaced back at the end of the scope.
class TBitmapSelection {
 public:
  TBitmapSelection(HDC Dc, HBITMAP Bitmap) : FDc(Dc), FOld(SelectObject(Dc, Bitmap)) {}
  ~TBitmapSelection() {
    if (FOld) SelectObject(FDc, FOld);
  }
  TBitmapSelection(const TBitmapSelection&) = delete;
  TBitmapSelection& operator=(const TBitmapSelection&) = delete;

 private:
  HDC FDc;
  HBITMAP FOld;
};

// Selects and realises Palette in Dc, and selects the palette it replaced back (with the same
// background flag) at the end of the scope. A Palette of 0 selects nothing; a context that had
// no palette before keeps the new one, as SelectPalette ignores a 0 palette.
class TPaletteSelection {
 public:
  TPaletteSelection(HDC Dc, HPALETTE Palette, bool ForceBackground)
      : FDc(Dc),
        FForceBackground(ForceBackground),
        FOld(SelectPalette(Dc, Palette, ForceBackground)) {
    if (Palette) RealizePalette(Dc);
  }
  ~TPaletteSelection() {
    if (FOld) SelectPalette(FDc, FOld, FForceBackground);
  }
  TPaletteSelection(const TPaletteSelection&) = delete;
  TPaletteSelection& operator=(const TPaletteSelection&) = delete;

 private:
  HDC FDc;
  bool FForceBackground;
  HPALETTE FOld;
};

// Saves the state of Dc and restores it at the end of the scope.
class TSavedDC {
 public:
  explicit TSavedDC(HDC Dc) : FDc(Dc), FLevel(SaveDC(Dc)) {}
  ~TSavedDC() {
    if (FLevel != 0) RestoreDC(FDc, FLevel);
  }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC FDc;
  int FLevel;
};

// Holds a canvas's lock for the lifetime of the object.
class TCanvasLock {
 public:
  explicit TCanvasLock(TCanvas& Canvas) : FCanvas(Canvas) { FCanvas.Lock(); }
  ~TCanvasLock() { FCanvas.Unlock(); }
  TCanvasLock(const TCanvasLock&) = delete;
  TCanvasLock& operator=(const TCanvasLock&) = delete;

 private:
  TCanvas& FCanvas;
};

// Attaches a context the canvas does not own (a paint target) for the lifetime of the object
// and detaches it at the end.
class TCanvasHandle {
 public:
  TCanvasHandle(TCanvas& Canvas, HDC Dc) : FCanvas(Canvas) { FCanvas.SetHandle(Dc); }
  ~TCanvasHandle() { FCanvas.SetHandle(nullptr); }
  TCanvasHandle(const TCanvasHandle&) = delete;
  TCanvasHandle& operator=(const TCanvasHandle&) = delete;

 private:
  TCanvas& FCanvas;
};

}  // namespace orn

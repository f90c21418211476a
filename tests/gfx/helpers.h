// Small fixtures for the graphics tests: memory contexts over bitmaps built from pixel lists.
#pragma once

#include <initializer_list>
#include <vector>

#include "gfx/gdi.h"

namespace orn::test {

// A memory context holding its own bitmap; frees both.
class TSurface {
 public:
  // A 32-bit device bitmap of the given size filled with Fill.
  TSurface(int Width, int Height, TColor Fill = clBlack)
      : TSurface(CreateBitmap(Width, Height, 1, 32)) {
    FillRect(Dc, Rect(0, 0, Width, Height), Fill);
  }
  // Takes ownership of Bitmap.
  explicit TSurface(HBITMAP Bitmap) : Bmp(Bitmap) {
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bmp);
  }
  ~TSurface() {
    SelectObject(Dc, Old);
    DeleteObject(Bmp);
    DeleteDC(Dc);
  }
  TSurface(const TSurface&) = delete;
  TSurface& operator=(const TSurface&) = delete;

  // Row-major pixels, top row first.
  void Set(std::initializer_list<TColor> Pixels) {
    int I = 0;
    for (TColor C : Pixels) {
      SetPixel(Dc, I % Bmp->Dib.Width, I / Bmp->Dib.Width, C);
      ++I;
    }
  }
  std::vector<TColor> Pixels() const {
    std::vector<TColor> Out;
    for (int Y = 0; Y < Bmp->Dib.Height; ++Y)
      for (int X = 0; X < Bmp->Dib.Width; ++X) Out.push_back(GetPixel(Dc, X, Y));
    return Out;
  }

  HBITMAP Bmp;
  HDC Dc;
  HBITMAP Old;
};

// A monochrome device bitmap from 0/1 values, row-major.
inline HBITMAP MonoBitmap(int Width, int Height, std::initializer_list<int> Bits) {
  HBITMAP B = CreateBitmap(Width, Height, 1, 1);
  int I = 0;
  for (int V : Bits) {
    B->Dib.SetRaw(I % Width, I / Width, static_cast<uint32_t>(V));
    ++I;
  }
  return B;
}

}  // namespace orn::test

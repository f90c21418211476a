#include "gfx/masked_draw.h"

namespace orn {

TColor PaletteRelativeColor(TColor Color) {
  return ColorToRGB(Color) | PaletteRelativeFlag;
}

void MaskedStretchBlt(HDC Dest, int DestX, int DestY, int DestWidth, int DestHeight, HDC Src,
                      int SrcX, int SrcY, int SrcWidth, int SrcHeight, HPALETTE Palette,
                      TColor TransparentColor) {
  // Four work contexts: the mask (1 where the source is transparent), its inverse, the result
  // at the destination size, and a copy of the source.
  HDC MaskDC = CreateCompatibleDC(Dest);
  HDC InvDC = CreateCompatibleDC(Dest);
  HDC ResultDC = CreateCompatibleDC(Dest);
  HDC CopyDC = CreateCompatibleDC(Dest);
  HBITMAP MaskBmp = CreateBitmap(SrcWidth, SrcHeight, 1, 1);
  HBITMAP InvBmp = CreateBitmap(SrcWidth, SrcHeight, 1, 1);
  HBITMAP ResultBmp = CreateCompatibleBitmap(Dest, DestWidth, DestHeight);
  HBITMAP CopyBmp = CreateCompatibleBitmap(Dest, SrcWidth, SrcHeight);
  HBITMAP OldMask = SelectObject(MaskDC, MaskBmp);
  HBITMAP OldInv = SelectObject(InvDC, InvBmp);
  HBITMAP OldResult = SelectObject(ResultDC, ResultBmp);
  HBITMAP OldCopy = SelectObject(CopyDC, CopyBmp);

  HPALETTE OldDestPal = nullptr, OldCopyPal = nullptr, OldMaskPal = nullptr, OldResultPal = nullptr;
  if (Palette) {
    OldDestPal = SelectPalette(Dest, Palette, true);
    RealizePalette(Dest);
    OldCopyPal = SelectPalette(CopyDC, Palette, false);
    RealizePalette(CopyDC);
    OldMaskPal = SelectPalette(MaskDC, Palette, false);
    RealizePalette(MaskDC);
    OldResultPal = SelectPalette(ResultDC, Palette, true);
    RealizePalette(ResultDC);
  }

  SetMapMode(Src, GetMapMode(Dest));
  SetMapMode(CopyDC, GetMapMode(Dest));

  BitBlt(CopyDC, 0, 0, SrcWidth, SrcHeight, Src, SrcX, SrcY, SRCCOPY);
  TColor OldBk = SetBkColor(CopyDC, PaletteRelativeColor(TransparentColor));
  BitBlt(MaskDC, 0, 0, SrcWidth, SrcHeight, CopyDC, 0, 0, SRCCOPY);
  SetBkColor(CopyDC, OldBk);
  BitBlt(InvDC, 0, 0, SrcWidth, SrcHeight, MaskDC, 0, 0, NOTSRCCOPY);
  BitBlt(ResultDC, 0, 0, DestWidth, DestHeight, Dest, DestX, DestY, SRCCOPY);
  StretchBlt(ResultDC, 0, 0, DestWidth, DestHeight, MaskDC, 0, 0, SrcWidth, SrcHeight, SRCAND);
  BitBlt(CopyDC, 0, 0, SrcWidth, SrcHeight, InvDC, 0, 0, SRCAND);
  StretchBlt(ResultDC, 0, 0, DestWidth, DestHeight, CopyDC, 0, 0, SrcWidth, SrcHeight, SRCPAINT);
  BitBlt(Dest, DestX, DestY, DestWidth, DestHeight, ResultDC, 0, 0, SRCCOPY);

  if (Palette) {
    SelectPalette(ResultDC, OldResultPal, false);
    SelectPalette(MaskDC, OldMaskPal, false);
    SelectPalette(CopyDC, OldCopyPal, false);
    SelectPalette(Dest, OldDestPal, true);
  }
  SelectObject(MaskDC, OldMask);
  SelectObject(InvDC, OldInv);
  SelectObject(ResultDC, OldResult);
  SelectObject(CopyDC, OldCopy);
  DeleteObject(MaskBmp);
  DeleteObject(InvBmp);
  DeleteObject(ResultBmp);
  DeleteObject(CopyBmp);
  DeleteDC(MaskDC);
  DeleteDC(InvDC);
  DeleteDC(ResultDC);
  DeleteDC(CopyDC);
}

void DrawBitmapMasked(TCanvas& Dest, TBitmap& Bitmap, TColor TransparentColor, int DestX, int DestY,
                      int DestWidth, int DestHeight, int SrcX, int SrcY, int SrcWidth,
                      int SrcHeight) {
  if (DestWidth <= 0) DestWidth = Bitmap.Width();
  if (DestHeight <= 0) DestHeight = Bitmap.Height();
  if (SrcWidth <= 0 || SrcHeight <= 0) {
    SrcX = 0;
    SrcY = 0;
    SrcWidth = Bitmap.Width();
    SrcHeight = Bitmap.Height();
  }
  if (!Bitmap.Monochrome()) SetStretchBltMode(Dest.Handle(), COLORONCOLOR);

  TCanvas& Source = Bitmap.Canvas();
  Source.Lock();
  // Drawing from the bitmap must not make it copy a shared image.
  TNotifyEvent Changing = std::move(Source.OnChanging);
  Source.OnChanging = nullptr;
  try {
    if (TransparentColor == clNone) {
      StretchBlt(Dest.Handle(), DestX, DestY, DestWidth, DestHeight, Source.Handle(), SrcX, SrcY,
                 SrcWidth, SrcHeight, Dest.CopyMode());
    } else {
      if (TransparentColor == clDefault) TransparentColor = Source.Pixels(0, Bitmap.Height() - 1);
      TColor Key = Bitmap.Monochrome() ? clWhite : (ColorToRGB(TransparentColor) & 0xFFFFFF);
      MaskedStretchBlt(Dest.Handle(), DestX, DestY, DestWidth, DestHeight, Source.Handle(), SrcX,
                       SrcY, SrcWidth, SrcHeight, Bitmap.Palette(), Key);
    }
  } catch (...) {
    Source.OnChanging = std::move(Changing);
    Source.Unlock();
    throw;
  }
  Source.OnChanging = std::move(Changing);
  Source.Unlock();
}

void DrawBitmapRectMasked(TCanvas& Dest, int X, int Y, int Width, int Height, const TRect& Source,
                          TBitmap& Bitmap, TColor TransparentColor) {
  DrawBitmapMasked(Dest, Bitmap, TransparentColor, X, Y, Width, Height, Source.Left, Source.Top,
                   Source.Width(), Source.Height());
}

}  // namespace orn

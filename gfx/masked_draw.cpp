#include "gfx/masked_draw.h"

#include "core/scope.h"
#include "gfx/guards.h"

namespace orn {

TColor PaletteRelativeColor(TColor Color) {
  return ColorToRGB(Color) | PaletteRelativeFlag;
}

void MaskedStretchBlt(HDC Dest, int DestX, int DestY, int DestWidth, int DestHeight, HDC Src,
                      int SrcX, int SrcY, int SrcWidth, int SrcHeight, HPALETTE Palette,
                      TColor TransparentColor) {
  // Four work contexts: the mask (1 where the source is transparent), its inverse, the result
  // at the destination size, and a copy of the source.
  TMemoryDC MaskDC(Dest), InvDC(Dest), ResultDC(Dest), CopyDC(Dest);
  TOwnedBitmap MaskBmp(CreateBitmap(SrcWidth, SrcHeight, 1, 1));
  TOwnedBitmap InvBmp(CreateBitmap(SrcWidth, SrcHeight, 1, 1));
  TOwnedBitmap ResultBmp(CreateCompatibleBitmap(Dest, DestWidth, DestHeight));
  TOwnedBitmap CopyBmp(CreateCompatibleBitmap(Dest, SrcWidth, SrcHeight));
  TBitmapSelection MaskSel(MaskDC, MaskBmp.get()), InvSel(InvDC, InvBmp.get()),
      ResultSel(ResultDC, ResultBmp.get()), CopySel(CopyDC, CopyBmp.get());
  TPaletteSelection DestPal(Dest, Palette, true), CopyPal(CopyDC, Palette, false),
      MaskPal(MaskDC, Palette, false), ResultPal(ResultDC, Palette, true);

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
  TCanvasLock Lock(Source);
  // Drawing from the bitmap must not make it copy a shared image.
  TScopedValue<TNotifyEvent> Quiet(Source.OnChanging, nullptr);
  if (TransparentColor == clNone) {
    StretchBlt(Dest.Handle(), DestX, DestY, DestWidth, DestHeight, Source.Handle(), SrcX, SrcY,
               SrcWidth, SrcHeight, Dest.CopyMode());
    return;
  }
  if (TransparentColor == clDefault) TransparentColor = Source.Pixels(0, Bitmap.Height() - 1);
  // A black-and-white device bitmap has no colours of its own: white is its keyed colour. A
  // 1-bit device-independent bitmap (a two-colour GIF frame) shows the two colours of its
  // table, so the colour asked for is keyed out as in any other bitmap.
  const bool BlackAndWhite = Bitmap.Monochrome() && Bitmap.HandleType() == TBitmapHandleType::bmDDB;
  TColor Key = BlackAndWhite ? clWhite : (ColorToRGB(TransparentColor) & 0xFFFFFF);
  MaskedStretchBlt(Dest.Handle(), DestX, DestY, DestWidth, DestHeight, Source.Handle(), SrcX, SrcY,
                   SrcWidth, SrcHeight, Bitmap.Palette(), Key);
}

void DrawBitmapRectMasked(TCanvas& Dest, int X, int Y, int Width, int Height, const TRect& Source,
                          TBitmap& Bitmap, TColor TransparentColor) {
  DrawBitmapMasked(Dest, Bitmap, TransparentColor, X, Y, Width, Height, Source.Left, Source.Top,
                   Source.Width(), Source.Height());
}

}  // namespace orn

// Drawing a bitmap stretched while leaving out every pixel of one colour, so that a picture
// with a transparent colour shows what lies behind it.
#pragma once

#include "gfx/bitmap.h"
#include "gfx/canvas.h"
#include "gfx/colors.h"
#include "gfx/gdi.h"

namespace orn {

// The RGB value of Color (system colours resolved) with the palette-relative flag set, so that
// a device context takes the nearest colour of its selected palette.
TColor PaletteRelativeColor(TColor Color);

// Copies the source rectangle of Src stretched into the destination rectangle of Dest, leaving
// the destination unchanged where the source has TransparentColor (an RGB value). Palette,
// when given, is selected and realised in the contexts involved.
void MaskedStretchBlt(HDC Dest, int DestX, int DestY, int DestWidth, int DestHeight, HDC Src,
                      int SrcX, int SrcY, int SrcWidth, int SrcHeight, HPALETTE Palette,
                      TColor TransparentColor);

// Draws the source rectangle of Bitmap stretched into the destination rectangle of Dest.
// A destination width or height of 0 or less takes the bitmap's; a source width or height of
// 0 or less makes the whole bitmap the source. TransparentColor clNone draws opaque with the
// canvas's copy mode; clDefault keys out the bottom-left pixel's colour; a black-and-white
// device bitmap always keys out white (a 1-bit device-independent bitmap keys the colour
// asked for). Sets the canvas's stretch mode to COLORONCOLOR for colour bitmaps.
void DrawBitmapMasked(TCanvas& Dest, TBitmap& Bitmap, TColor TransparentColor, int DestX, int DestY,
                      int DestWidth, int DestHeight, int SrcX, int SrcY, int SrcWidth,
                      int SrcHeight);

void DrawBitmapRectMasked(TCanvas& Dest, int X, int Y, int Width, int Height, const TRect& Source,
                          TBitmap& Bitmap, TColor TransparentColor);

}  // namespace orn

// The software graphics device: rectangles, device-independent pixel storage and BMP files,
// bitmaps, palettes, regions and device contexts with block transfers.
//
// The objects are reached through handles as on the real platform: a handle is a pointer to
// the object, 0 (nullptr) means none, and each Create... is paired with DeleteObject or
// DeleteDC. The display is true colour (32 bits per pixel): a device-dependent bitmap stores
// 32-bit pixels, palettes are selected and realised but never change how a true-colour target
// stores a colour, and the nearest colour of a colour is the colour itself.
//
// Coordinates: only the text mapping mode (one logical unit = one pixel, y down) transforms
// coordinates. A device point is (logical - window origin + viewport origin). Other mapping
// modes are accepted and remembered but treated like the text mode.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/stream.h"
#include "gfx/colors.h"

namespace orn {

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

// Right and bottom edges are exclusive.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(int X, int Y) const { return X >= Left && X < Right && Y >= Top && Y < Bottom; }
  bool operator==(const TRect&) const = default;
};

constexpr TRect Rect(int Left, int Top, int Right, int Bottom) {
  return TRect{Left, Top, Right, Bottom};
}
constexpr TRect Bounds(int Left, int Top, int Width, int Height) {
  return TRect{Left, Top, Left + Width, Top + Height};
}
// The overlap of A and B; false (and an empty Dest) when they do not overlap.
bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B);

// ---- Pixel storage ------------------------------------------------------------------------

struct TRGBQuad {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;
};

// A device-independent picture of 1, 4, 8, 24 or 32 bits per pixel: rows stored bottom-up,
// each padded to a multiple of 4 bytes; pixels of 24 and 32 bits are blue, green, red (and a
// reserved byte); pixels of up to 8 bits index Colors, which has 2^BitCount entries.
struct TDib {
  int Width = 0;
  int Height = 0;
  int BitCount = 32;
  std::vector<TRGBQuad> Colors;
  std::vector<uint8_t> Bits;

  TDib() = default;
  // Zero-filled pixels; an indexed picture gets a colour table of 2^BitCount black entries.
  // Raises EInvalidGraphic for an unsupported depth or a negative or absurd size.
  TDib(int AWidth, int AHeight, int ABitCount);
  // The same, with the pixel rows kept in Storage (its allocation is reused).
  TDib(int AWidth, int AHeight, int ABitCount, std::vector<uint8_t> Storage);

  static int StrideOf(int Width, int BitCount) { return ((Width * BitCount + 31) / 32) * 4; }
  int Stride() const { return StrideOf(Width, BitCount); }
  bool Empty() const { return Width == 0 || Height == 0; }
  // Row Y counted from the top of the picture.
  uint8_t* ScanLine(int Y) { return Bits.data() + static_cast<size_t>(Height - 1 - Y) * Stride(); }
  const uint8_t* ScanLine(int Y) const {
    return Bits.data() + static_cast<size_t>(Height - 1 - Y) * Stride();
  }
  // The stored value of a pixel: a colour index, or an RGB colour value for 24 and 32 bits.
  uint32_t Raw(int X, int Y) const;
  void SetRaw(int X, int Y, uint32_t Value);
  // The RGB colour a pixel shows (through the colour table for indexed pictures).
  TColor PixelColor(int X, int Y) const;
  // The first colour-table index with the smallest squared distance to Color.
  int NearestIndex(TColor Color) const;
};

// Pixel reads are inline: callers walk whole pictures with them.
inline uint32_t TDib::Raw(int X, int Y) const {
  const uint8_t* Row = ScanLine(Y);
  switch (BitCount) {
    case 1:
      return (Row[X >> 3] >> (7 - (X & 7))) & 1;
    case 4:
      return (X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4);
    case 8:
      return Row[X];
    case 24: {
      const uint8_t* P = Row + X * 3;
      return RGB(P[2], P[1], P[0]);
    }
    default: {
      const uint8_t* P = Row + X * 4;
      return RGB(P[2], P[1], P[0]);
    }
  }
}

inline TColor TDib::PixelColor(int X, int Y) const {
  uint32_t V = Raw(X, Y);
  if (BitCount > 8) return V;
  if (V >= Colors.size()) return clBlack;
  const TRGBQuad& Q = Colors[V];
  return RGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
}

// Largest width or height accepted from a BMP file, and largest pixel data in bytes.
constexpr int MaxBitmapDimension = 65535;
constexpr int64_t MaxBitmapBytes = int64_t{512} * 1024 * 1024;

// Reads a BMP file starting at the stream's position: the 14-byte file header, an information
// header of at least 40 bytes, the colour-table entries the colours-used field names (all
// 2^bits when it is 0), then the rows, which are taken to follow the colour table directly
// (the pixel-offset and file-size fields are not trusted). Reads exactly those bytes and no
// more. A short stream raises EReadError ("Stream read error") before anything is allocated;
// a malformed header or an unsupported format raises EInvalidGraphic.
TDib ReadBMP(TStream& Stream);
// Writes a BMP file: file header, 40-byte information header with colours-used 0, the full
// colour table of 2^bits entries for indexed pictures, bottom-up rows.
void WriteBMP(const TDib& Dib, TStream& Stream);
// Byte size of the file WriteBMP produces.
int64_t BMPFileSize(const TDib& Dib);

// ---- GDI objects --------------------------------------------------------------------------

struct TPaletteEntry {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
};

// A bitmap object: its pixels, and whether it is device-independent (DIB) or in the display's
// device-dependent form. Device-dependent bitmaps are 32 bits per pixel, or monochrome (1 bit,
// no colour table: 0 is black, 1 is white, and conversions use the contexts' text and
// background colours).
struct TGdiBitmap {
  TDib Dib;
  bool IsDIB = false;
};
struct TGdiPalette {
  std::vector<TPaletteEntry> Entries;
};
// A set of pixels kept as y-x banded rectangles: sorted by top, then left; rectangles of one
// band share top and bottom; touching bands with identical spans are merged.
struct TGdiRegion {
  std::vector<TRect> Rects;
};
struct TDeviceContext;

using HBITMAP = TGdiBitmap*;
using HPALETTE = TGdiPalette*;
using HRGN = TGdiRegion*;
using HDC = TDeviceContext*;

// Colour depths: a bitmap of BitCount 1 is a monochrome device-dependent bitmap; any other
// count gives a 32-bit device-dependent bitmap. Pixels start black.
HBITMAP CreateBitmap(int Width, int Height, int Planes, int BitCount);
// A bitmap in the format of the bitmap selected into Dc (monochrome for a fresh memory context,
// as on the real platform); 32-bit for Dc 0 (the screen).
HBITMAP CreateCompatibleBitmap(HDC Dc, int Width, int Height);
// A device-independent bitmap holding Dib.
HBITMAP CreateDIBSection(TDib Dib);
bool DeleteObject(HBITMAP Bitmap);
bool DeleteObject(HPALETTE Palette);
bool DeleteObject(HRGN Region);

// Frees a bitmap, palette or region with DeleteObject.
struct TGdiObjectDeleter {
  template <class T>
  void operator()(T* Object) const {
    DeleteObject(Object);
  }
};

// Owns a graphics object made by one of the Create... functions (or with new) and frees it
// with DeleteObject; release() hands it on.
template <class T>
using TGdiObject = std::unique_ptr<T, TGdiObjectDeleter>;
using TOwnedBitmap = TGdiObject<TGdiBitmap>;
using TOwnedPalette = TGdiObject<TGdiPalette>;
using TOwnedRegion = TGdiObject<TGdiRegion>;

constexpr int OBJ_BITMAP = 7;
struct TBitmapObject {
  int bmType = 0;
  int bmWidth = 0;
  int bmHeight = 0;
  int bmWidthBytes = 0;
  uint16_t bmPlanes = 1;
  uint16_t bmBitsPixel = 0;
  void* bmBits = nullptr;  // the rows of a device-independent bitmap
};
struct TBitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
struct TDIBSection {
  TBitmapObject dsBm;
  TBitmapInfoHeader dsBmih;
};
constexpr int SizeOfBitmapObject = 24;
constexpr int SizeOfDIBSection = 84;
// Describes Bitmap: returns SizeOfDIBSection for a device-independent bitmap (dsBmih filled),
// SizeOfBitmapObject for a device-dependent one, 0 for none.
int GetObject(HBITMAP Bitmap, TDIBSection& Info);

// Copies ScanLines rows, starting at row StartScan counted from the bottom, into Bits in the
// format Info asks for (biBitCount 24 or 32; or the bitmap's own indexed depth, in which case
// Colors, when given, receives its colour table). Rows are bottom-up and padded to 4 bytes.
// Pixels are the colours the bitmap shows (a monochrome device-dependent bitmap as black and
// white). With Bits nullptr only Info is completed. Returns the rows copied, 0 on failure.
int GetDIBits(HDC Dc, HBITMAP Bitmap, int StartScan, int ScanLines, void* Bits,
              TBitmapInfoHeader& Info, TRGBQuad* Colors);

HPALETTE CreatePalette(const std::vector<TPaletteEntry>& Entries);
// The palette every context starts with (20 static colours); never deleted.
HPALETTE GetStockPalette();
int GetPaletteEntries(HPALETTE Palette, int Start, int Count, TPaletteEntry* Entries);
// The first entry with the smallest squared distance to Color; -1 for no palette.
int GetNearestPaletteIndex(HPALETTE Palette, TColor Color);

// ---- Regions -----------------------------------------------------------------------------

constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;
constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

HRGN CreateRectRgn(int Left, int Top, int Right, int Bottom);
// Dest := Src1 <Mode> Src2 (Src2 unused for RGN_COPY). Dest may be one of the sources.
// Returns the kind of the result, or RGN_ERROR.
int CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, int Mode);
// The region's rectangles, y-x banded.
std::vector<TRect> GetRegionRects(HRGN Region);
int GetRgnBox(HRGN Region, TRect& Box);
bool PtInRegion(HRGN Region, int X, int Y);
int OffsetRgn(HRGN Region, int DX, int DY);
bool EqualRgn(HRGN A, HRGN B);

// ---- Device contexts ---------------------------------------------------------------------

constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;
constexpr uint32_t DSTINVERT = 0x00550009;

// Stretch modes. Shrinking combines the dropped pixels with AND (BLACKONWHITE), with OR
// (WHITEONBLACK) or drops them (COLORONCOLOR). HALFTONE is done as COLORONCOLOR: nearest
// neighbour, no averaging.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int STRETCH_ORSCANS = WHITEONBLACK;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int STRETCH_HALFTONE = HALFTONE;

constexpr int MM_TEXT = 1;
constexpr int MM_LOMETRIC = 2;
constexpr int MM_HIMETRIC = 3;
constexpr int MM_LOENGLISH = 4;
constexpr int MM_HIENGLISH = 5;
constexpr int MM_TWIPS = 6;
constexpr int MM_ISOTROPIC = 7;
constexpr int MM_ANISOTROPIC = 8;

constexpr TColor CLR_INVALID = 0xFFFFFFFF;

// The state a context saves and restores.
struct TDCState {
  TPoint ViewportOrg;
  TPoint WindowOrg;
  std::optional<TGdiRegion> Clip;  // device coordinates; none = the whole bitmap
  HPALETTE Palette = nullptr;
  bool PaletteBackground = false;
  TColor BkColor = 0xFFFFFF;
  TColor TextColor = 0x000000;
  TColor BrushColor = 0xFFFFFF;
  int StretchMode = BLACKONWHITE;
  int MapMode = MM_TEXT;
};

struct TDeviceContext {
  HBITMAP Bitmap = nullptr;  // selected bitmap; the context's own 1x1 monochrome one at first
  TGdiBitmap StockBitmap;
  TDCState State;
  std::vector<TDCState> Saved;
};

// A memory context; Dc 0 means compatible with the screen.
HDC CreateCompatibleDC(HDC Dc);
bool DeleteDC(HDC Dc);
// Selects Bitmap into Dc and returns the bitmap selected before (0 on failure).
HBITMAP SelectObject(HDC Dc, HBITMAP Bitmap);
HBITMAP GetCurrentBitmap(HDC Dc);

TColor SetBkColor(HDC Dc, TColor Color);  // returns the previous colour
TColor GetBkColor(HDC Dc);
TColor SetTextColor(HDC Dc, TColor Color);
TColor GetTextColor(HDC Dc);
// The colour solid fills and pattern raster operations use.
TColor SetDCBrushColor(HDC Dc, TColor Color);
TColor GetDCBrushColor(HDC Dc);
int SetStretchBltMode(HDC Dc, int Mode);  // returns the previous mode, 0 for a bad mode
int GetStretchBltMode(HDC Dc);
int SetMapMode(HDC Dc, int Mode);  // returns the previous mode, 0 for a bad mode
int GetMapMode(HDC Dc);
bool SetViewportOrgEx(HDC Dc, int X, int Y, TPoint* Old);
bool GetViewportOrgEx(HDC Dc, TPoint& Org);
bool SetWindowOrgEx(HDC Dc, int X, int Y, TPoint* Old);
bool GetWindowOrgEx(HDC Dc, TPoint& Org);

// Clipping. IntersectClipRect takes logical coordinates; SelectClipRgn takes a region in device
// coordinates (copied) or 0 to remove the clip. Both return the kind of the new clip region.
int IntersectClipRect(HDC Dc, int Left, int Top, int Right, int Bottom);
int SelectClipRgn(HDC Dc, HRGN Region);
// The clip box in logical coordinates (the bitmap's area when there is no clip region).
int GetClipBox(HDC Dc, TRect& Box);

// Saves the state and returns its level (1 for the first); RestoreDC with a positive level
// goes back to that saved state, with a negative one that many states back (-1: the last).
int SaveDC(HDC Dc);
bool RestoreDC(HDC Dc, int SavedDC);

// Selects Palette (0 is ignored) and returns the palette selected before.
HPALETTE SelectPalette(HDC Dc, HPALETTE Palette, bool ForceBackground);
// Returns the number of entries of the selected palette.
int RealizePalette(HDC Dc);
// The colour the context shows for Color (system colours resolved). On a palette target (a
// context holding a 4- or 8-bit bitmap) a palette-relative colour becomes the nearest entry of
// the selected palette (unless the stock palette is selected); true-colour targets treat the
// flag as a plain RGB value, as devices without palettes do. A monochrome device-dependent
// target gives black or white.
TColor GetNearestColor(HDC Dc, TColor Color);

// Block transfers. Pixels are converted between formats: colour to monochrome gives 1 where the
// source pixel equals the SOURCE context's background colour and 0 elsewhere; monochrome to
// colour gives the DESTINATION context's background colour for 1 and its text colour for 0
// (a monochrome device-independent source uses its colour table instead). Raster operations are
// applied to the destination's stored values (RGB, colour index or bit); the pattern is the
// destination's brush colour. Negative widths or heights mirror the picture.
bool BitBlt(HDC Dest, int X, int Y, int Width, int Height, HDC Src, int SrcX, int SrcY,
            uint32_t Rop);
bool StretchBlt(HDC Dest, int X, int Y, int Width, int Height, HDC Src, int SrcX, int SrcY,
                int SrcWidth, int SrcHeight, uint32_t Rop);
bool PatBlt(HDC Dc, int X, int Y, int Width, int Height, uint32_t Rop);
// Block transfers work a row at a time where they can. Turning that off (process-wide) makes
// every transfer go pixel by pixel through the general rules, which give the same pixels; the
// tests compare the two.
void SetBlockTransferFastPaths(bool On);
// Fills Rect (logical coordinates) with a solid colour.
bool FillRect(HDC Dc, const TRect& Rect, TColor Color);
TColor GetPixel(HDC Dc, int X, int Y);  // CLR_INVALID outside the bitmap or clip region
TColor SetPixel(HDC Dc, int X, int Y, TColor Color);

}  // namespace orn

// TBitmap: a picture held as a bitmap object, device-independent (1, 4, 8, 24 or 32 bits per
// pixel, with a palette for the indexed depths) or in the display's device-dependent form,
// with a drawing canvas, transparency settings and BMP-file persistence. Copies made by Assign
// share the pixels until one of them is drawn on.
#pragma once

#include <memory>

#include "gfx/canvas.h"
#include "gfx/graphic.h"

namespace orn {

enum class TBitmapHandleType { bmDIB, bmDDB };
enum class TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};
enum class TTransparentMode { tmAuto, tmFixed };

class TBitmap;

// The pixels and palette a bitmap holds, shared between copies.
class TBitmapImage : public TSharedImage {
 public:
  TBitmapImage() = default;
  ~TBitmapImage() override;
  HBITMAP FHandle = nullptr;
  HPALETTE FPalette = nullptr;

 protected:
  void FreeHandle() override;
};

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  std::string ClassName() const override { return "TBitmap"; }

  // From another bitmap: shares its pixels (copied on the first drawing) and takes its
  // transparency settings; nil empties the bitmap; other graphics assign themselves.
  void Assign(TPersistent* Source) override;

  // Draws stretched into Rect with the canvas's copy mode, selecting the bitmap's palette into
  // the canvas first; keyed by the transparent colour when Transparent is set.
  void Draw(TCanvas& Canvas, const TRect& Rect) override;

  bool GetEmpty() const override;
  int GetWidth() override;
  int GetHeight() override;
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  // Resizes, keeping the pixels that still fit; new area is filled with the brush colour.
  void SetSize(int AWidth, int AHeight);
  HPALETTE GetPalette() override;
  // Takes ownership of Value (0 removes the palette).
  void SetPalette(HPALETTE Value) override;

  TCanvas& Canvas();
  // The bitmap object, created (empty bitmaps have none) on demand. Owned by the bitmap.
  HBITMAP Handle();
  // Takes ownership of Value; 0 empties the bitmap.
  void SetHandle(HBITMAP Value);
  // Gives up the bitmap object to the caller (the bitmap becomes empty).
  HBITMAP ReleaseHandle();
  bool HandleAllocated() const;

  TBitmapHandleType HandleType() const;
  // bmDDB converts to the display's 32-bit form (monochrome bitmaps stay monochrome);
  // bmDIB keeps or makes a device-independent bitmap of the same depth.
  void SetHandleType(TBitmapHandleType Value);
  bool Monochrome() const;
  // Converting to monochrome makes white pixels 1 and all others 0.
  void SetMonochrome(bool Value);
  TPixelFormat PixelFormat() const;
  void SetPixelFormat(TPixelFormat Value);

  // The key colour, with the palette-relative flag set: with tmAuto (the default) white for a
  // monochrome bitmap and otherwise the bottom-left pixel; with tmFixed the colour set.
  TColor TransparentColor();
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);

  // Frees the drawing context of the canvas (device resources); the pixels stay as they are
  // and the context is made again when the canvas is next used.
  void Dormant();
  // Pixel row Y (from the top) of the device-independent or device-dependent storage.
  uint8_t* ScanLine(int Y);

  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  // Data is the bytes of a BMP file (CF_BITMAP); Palette, when given, becomes the bitmap's
  // palette (a copy). Raises EInvalidGraphic for another format.
  void LoadFromClipboardFormat(TClipboardFormat Format, const std::vector<uint8_t>& Data,
                               HPALETTE Palette) override;
  // Format := CF_BITMAP, Data := the BMP file, Palette := a copy of the palette (or 0); the
  // caller owns that palette copy.
  void SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                             HPALETTE& Palette) override;

  // "Data": a 32-bit little-endian size, then the BMP file. Reading takes the size but reads
  // the file by its headers and never past the data that are there.
  void ReadData(TStream& Stream) override;
  void WriteData(TStream& Stream) override;

 private:
  friend class TBitmapCanvas;
  void NewImage(TOwnedBitmap Handle, TOwnedPalette Palette);
  void Unshare();         // gives this bitmap its own copy of shared pixels
  void CanvasChanging();  // the canvas is about to draw
  void DetachCanvas();

  TBitmapImage* FImage = nullptr;
  int FEmptyWidth = 0;  // size of a bitmap with no pixels (one of its sides is 0)
  int FEmptyHeight = 0;
  int FEmptyBitCount = 32;  // format of the pixels an empty bitmap gets when it is sized
  bool FEmptyIsDIB = false;
  std::unique_ptr<TCanvas> FCanvas;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = TTransparentMode::tmAuto;
};

// Process-wide switch: once on, every TBitmap::Draw holds the drawn bitmap's canvas lock while
// it draws (so two threads never draw from one bitmap at the same time).
void SetBitmapDrawLocking(bool On);
bool BitmapDrawLocking();

}  // namespace orn

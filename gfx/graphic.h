// TGraphic: the base of every picture class (bitmaps, GIF images): size, palette,
// transparency, change and progress events, loading and saving through streams, files and the
// clipboard, and the binary "Data" property of component streams.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/classes.h"
#include "core/filer.h"
#include "core/stream.h"
#include "core/system.h"
#include "gfx/gdi.h"

namespace orn {

class TCanvas;

enum class TProgressStage { psStarting, psRunning, psEnding };

using TProgressEvent =
    std::function<void(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                       const TRect& R, const std::string& Msg)>;

class TGraphic : public TPersistent {
 public:
  TGraphic() = default;
  std::string ClassName() const override { return "TGraphic"; }

  // Draws the picture stretched into Rect of Canvas.
  virtual void Draw(TCanvas& Canvas, const TRect& Rect) = 0;

  bool Empty() const { return GetEmpty(); }
  int Width() { return GetWidth(); }
  int Height() { return GetHeight(); }
  HPALETTE Palette() { return GetPalette(); }
  bool Transparent() { return GetTransparent(); }

  virtual bool GetEmpty() const = 0;
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  // The palette the picture needs, 0 for none. The graphic keeps ownership.
  virtual HPALETTE GetPalette() { return nullptr; }
  virtual void SetPalette(HPALETTE Value);
  virtual bool GetTransparent() { return FTransparent; }
  virtual void SetTransparent(bool Value);

  bool Modified() const { return FModified; }
  // Setting it raises the change notification; clearing it does not.
  void SetModified(bool Value);
  bool PaletteModified() const { return FPaletteModified; }
  void SetPaletteModified(bool Value) { FPaletteModified = Value; }

  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromClipboardFormat(TClipboardFormat Format, const std::vector<uint8_t>& Data,
                                       HPALETTE Palette) = 0;
  virtual void SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                                     HPALETTE& Palette) = 0;

  // The payload of the "Data" property. By default the stream form of LoadFromStream and
  // SaveToStream.
  virtual void ReadData(TStream& Stream);
  virtual void WriteData(TStream& Stream);

  // True when Graphic is of the same class and holds the same picture: both empty, or equal
  // "Data" payloads.
  virtual bool Equals(TGraphic* Graphic);

  // Marks the graphic modified and raises OnChange.
  virtual void Changed(TObject* Sender);
  // Raises OnProgress.
  virtual void Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg);

  // Defines the binary "Data" property, stored when the graphic is not empty, or, against an
  // ancestor, when the ancestor is not a graphic that Equals this one.
  void DefineProperties(TFiler& Filer) override;

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  // Sets the Transparent flag without a change notification (for copies).
  void SetTransparentFlag(bool Value) { FTransparent = Value; }

 private:
  bool FTransparent = false;
  bool FModified = false;
  bool FPaletteModified = false;
};

}  // namespace orn

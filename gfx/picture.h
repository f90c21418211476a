// TPicture: holds one graphic of any registered class, copies assigned pictures, and keeps the
// process-wide registries of graphic classes by file extension and by clipboard format.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/graphic.h"

namespace orn {

// A graphic class: its name and how to make an empty instance.
struct TGraphicClass {
  std::string ClassName;
  std::function<std::unique_ptr<TGraphic>()> Create;
};

template <class T>
TGraphicClass MakeGraphicClass(const std::string& ClassName) {
  return TGraphicClass{ClassName, [] { return std::unique_ptr<TGraphic>(new T()); }};
}

struct TFileFormatInfo {
  std::string Extension;  // without the dot, as registered
  std::string Description;
  TGraphicClass GraphicClass;
};

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
  std::string ClassName() const override { return "TPicture"; }

  // The graphic held, or nil. Owned by the picture.
  TGraphic* Graphic() const { return FGraphic.get(); }
  // Holds a copy of Value (a new graphic of its class, assigned from it); nil empties.
  void SetGraphic(TGraphic* Value);
  // The held bitmap; when the picture holds something else, an empty bitmap replaces it.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* Value) { SetGraphic(Value); }

  int Width() const;
  int Height() const;

  // From a picture or a graphic (copied); nil empties.
  void Assign(TPersistent* Source) override;

  // Creates a graphic of the class registered for the file's extension and loads the file
  // into it. Raises EInvalidGraphic "Unknown picture file extension (.ext)".
  void LoadFromFile(const std::string& FileName);
  // Saves the held graphic (nothing when there is none).
  void SaveToFile(const std::string& FileName);
  // Raises EInvalidGraphic "Unsupported clipboard format" for an unregistered format.
  void LoadFromClipboardFormat(TClipboardFormat Format, const std::vector<uint8_t>& Data,
                               HPALETTE Palette);
  void SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                             HPALETTE& Palette);

  static bool SupportsClipboardFormat(TClipboardFormat Format);
  // A later registration of the same extension (compared without case) wins.
  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 const TGraphicClass& GraphicClass);
  static void RegisterClipboardFormat(TClipboardFormat Format, const TGraphicClass& GraphicClass);
  // Removes every file and clipboard format of the class.
  static void UnregisterGraphicClass(const std::string& ClassName);
  static std::vector<TFileFormatInfo> FileFormats();
  // The registered class of that name (file or clipboard registry), or nothing.
  static const TGraphicClass* FindGraphicClass(const std::string& ClassName);

  // "Data": the graphic's class name as a string with a 1-byte length (empty for none), then
  // the graphic's own "Data" payload.
  void DefineProperties(TFiler& Filer) override;
  void ReadData(TStream& Stream);
  void WriteData(TStream& Stream);

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 protected:
  virtual void Changed(TObject* Sender);

 private:
  void Install(std::unique_ptr<TGraphic> NewGraphic);

  std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace orn

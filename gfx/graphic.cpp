#include "gfx/graphic.h"

#include "gfx/canvas.h"

namespace orn {

void TGraphic::SetPalette(HPALETTE /*Value*/) {}

void TGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed(this);
}

void TGraphic::SetModified(bool Value) {
  if (Value)
    Changed(this);
  else
    FModified = false;
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  // The whole file first: a pipe has no size to ask for, and the graphic sees one stream.
  TMemoryStream Stream;
  Stream.LoadFromFile(FileName);
  LoadFromStream(Stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  // The whole content is built before the file is touched, so a failing save (no data, a
  // damaged frame, a full disk) leaves the file as it was.
  TMemoryStream Stream;
  SaveToStream(Stream);
  Stream.SaveToFile(FileName);
}

void TGraphic::ReadData(TStream& Stream) {
  LoadFromStream(Stream);
}

void TGraphic::WriteData(TStream& Stream) {
  SaveToStream(Stream);
}

bool TGraphic::Equals(TGraphic* Graphic) {
  if (!Graphic || Graphic->ClassName() != ClassName()) return false;
  if (Graphic == this) return true;
  if (Empty() || Graphic->Empty()) return Empty() && Graphic->Empty();
  TMemoryStream Mine, Theirs;
  WriteData(Mine);
  Graphic->WriteData(Theirs);
  return Mine.Bytes() == Theirs.Bytes();
}

void TGraphic::Changed(TObject* /*Sender*/) {
  FModified = true;
  if (OnChange) OnChange(this);
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg) {
  if (OnProgress) OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

void TGraphic::DefineProperties(TFiler& Filer) {
  bool HasData;
  if (TPersistent* Ancestor = Filer.Ancestor()) {
    auto* Other = dynamic_cast<TGraphic*>(Ancestor);
    HasData = !Other || !Equals(Other);
  } else {
    HasData = !Empty();
  }
  Filer.DefineBinaryProperty(
      "Data", [this](TStream& S) { ReadData(S); }, [this](TStream& S) { WriteData(S); }, HasData);
}

}  // namespace orn

#include "ui/image.h"

namespace orn {

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle |= csReplicatable;
  SetBounds(0, 0, 105, 105);
  FPicture.OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() {
  FPicture.OnChange = nullptr;
}

void TImage::SetStretch(bool Value) {
  if (FStretch == Value) return;
  FStretch = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  if (FCenter == Value) return;
  FCenter = Value;
  Invalidate();
}

bool TImage::CanAutoSize(int& NewWidth, int& NewHeight) {
  if (FPicture.Width() > 0 && FPicture.Height() > 0) {
    if (Align() == TAlign::alNone || Align() == TAlign::alLeft || Align() == TAlign::alRight)
      NewWidth = FPicture.Width();
    if (Align() == TAlign::alNone || Align() == TAlign::alTop || Align() == TAlign::alBottom)
      NewHeight = FPicture.Height();
  }
  return true;
}

void TImage::PictureChanged() {
  // Unlike AdjustSize this also acts while a description is read: the stored picture gives
  // the control its size.
  if (AutoSize() && FPicture.Width() > 0 && FPicture.Height() > 0) {
    int W = Width(), H = Height();
    CanAutoSize(W, H);
    SetBounds(Left(), Top(), W, H);
  }
  Invalidate();
}

HPALETTE TImage::GetPalette() {
  return FPicture.Graphic() != nullptr ? FPicture.Graphic()->GetPalette() : nullptr;
}

void TImage::Paint() {
  TGraphic* G = FPicture.Graphic();
  if (G == nullptr || G->GetEmpty()) return;
  if (FStretch) {
    Canvas().StretchDraw(ClientRect(), G);
  } else if (FCenter) {
    Canvas().Draw((Width() - G->GetWidth()) / 2, (Height() - G->GetHeight()) / 2, G);
  } else {
    Canvas().Draw(0, 0, G);
  }
}

void TImage::DeclareProperties(TPropertyList& Props) const {
  TGraphicControl::DeclareProperties(Props);
  TControl::DeclareBaseProperties(Props);
  TControl::DeclareLayoutProperties(Props);
  auto P = Props.Of<TImage>();
  P.Bool("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize, false);
  P.Bool("Center", &TImage::Center, &TImage::SetCenter, false);
  P.Object("Picture", &TImage::Picture);
  P.Bool("Stretch", &TImage::Stretch, &TImage::SetStretch, false);
  TControl::DeclareMouseEvents(Props);
}

}  // namespace orn

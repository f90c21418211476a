// TImage: a windowless control that shows a picture. With AutoSize it takes the picture's size.
#pragma once

#include "gfx/picture.h"
#include "ui/controls.h"

namespace orn {

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  std::string ClassName() const override { return "TImage"; }

  // The picture the control owns; assigning copies Value into it.
  TPicture* Picture() { return &FPicture; }
  void SetPicture(TPicture* Value) { FPicture.Assign(Value); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);

  bool CanAutoSize(int& NewWidth, int& NewHeight) override;
  void DeclareProperties(TPropertyList& Props) const override;

 protected:
  void Paint() override;
  HPALETTE GetPalette() override;

 private:
  void PictureChanged();
  TPicture FPicture;
  bool FStretch = false;
  bool FCenter = false;
};

}  // namespace orn

// The ornament's main window: a borderless, translucent window cut to the outline of the tree,
// playing the tree's animated picture. It is created from the product's stored form
// description; the show sequence restores the settings and shapes the window, the popup menu
// sets transparency, on-top and start-up, starts further trees and opens the maker's pages,
// and closing saves the settings.
#pragma once

#include <string>

#include "anim/gif_animator.h"
#include "gfx/gdi.h"
#include "gfx/graphic.h"
#include "ui/forms.h"
#include "ui/image.h"
#include "ui/menus.h"
#include "ui/timer.h"

namespace orn {

// Registry paths under the current user's root.
constexpr const char* RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
std::string SettingsKeyPath(const std::string& ProductName);

class TfrmMain : public TForm {
 public:
  explicit TfrmMain(TComponent* AOwner);
  std::string ClassName() const override { return "TfrmMain"; }

  // Components, in the order the class declares them; the form description creates them.
  TGIFAnimator* Gif = nullptr;
  TImage* Image1 = nullptr;
  TPopupMenu* PopupMenu = nullptr;
  TMenuItem* pmiOnTop = nullptr;
  TMenuItem* N1 = nullptr;
  TMenuItem* ransparent1 = nullptr;
  TMenuItem* pmi0 = nullptr;
  TMenuItem* pmi10 = nullptr;
  TMenuItem* pmi20 = nullptr;
  TMenuItem* pmi30 = nullptr;
  TMenuItem* pmi40 = nullptr;
  TMenuItem* pmi50 = nullptr;
  TMenuItem* pmi60 = nullptr;
  TMenuItem* pmi70 = nullptr;
  TMenuItem* pmi80 = nullptr;
  TMenuItem* pmi90 = nullptr;
  TMenuItem* N2 = nullptr;
  TMenuItem* pmiStartUp = nullptr;
  TMenuItem* pmiAbout = nullptr;
  TMenuItem* pmiExit = nullptr;
  TTimer* Timer = nullptr;
  TMenuItem* pmiDownload = nullptr;
  TMenuItem* pmiClockInfo = nullptr;
  TMenuItem* Software1 = nullptr;
  TMenuItem* N3 = nullptr;
  TMenuItem* pmiTickframe = nullptr;
  TMenuItem* pmiAdd = nullptr;

  // Published handlers.
  void FormShow(TObject* Sender);
  void GifMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void pmi0Click(TObject* Sender);
  void pmi10Click(TObject* Sender);
  void pmi20Click(TObject* Sender);
  void pmi30Click(TObject* Sender);
  void pmi40Click(TObject* Sender);
  void pmi50Click(TObject* Sender);
  void pmi60Click(TObject* Sender);
  void pmi70Click(TObject* Sender);
  void pmi80Click(TObject* Sender);
  void pmi90Click(TObject* Sender);
  void pmiOnTopClick(TObject* Sender);
  void pmiAddClick(TObject* Sender);
  void pmiAboutClick(TObject* Sender);
  void pmiTickframeClick(TObject* Sender);
  void pmiClockInfoClick(TObject* Sender);
  void pmiExitClick(TObject* Sender);
  void TimerTimer(TObject* Sender);

  // The level items pmi0 ... pmi90 for levels 0 ... 9.
  TMenuItem* LevelItem(int Level) const;

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  void LoadSettings();
  void SaveSettings();
  // Levels 1 ... 9 make the window translucent with alpha 255 - 25 x level; level 0 opaque.
  void ApplyLevel(int Level);
  // The level saved at close: the last checked level item, or, when none is checked (the
  // checked one was clicked again), the level of the transparency in force.
  int LevelToSave() const;
};

// The window region of a mask: the rectangle of the mask's size less every pixel whose
// colour is exactly white (0xFFFFFF). The caller owns the region (SetWindowRgn takes it).
HRGN CreateMaskRegion(TGraphic* Graphic);

// Registers TfrmMain and the classes its description names with the class registry.
void RegisterOrnamentClasses();

}  // namespace orn

#include "app/main.h"

#include <cmath>
#include <memory>

#include "app/products.h"
#include "core/classregistry.h"
#include "core/datetime.h"
#include "core/registry.h"
#include "core/system.h"
#include "gfx/bitmap.h"
#include "ui/application.h"

namespace orn {

std::string SettingsKeyPath(const std::string& ProductName) {
  return "Software\\" + ProductName;
}

void RegisterOrnamentClasses() {
  RegisterUIClasses();
  RegisterAnimationClasses();
  RegisterClass<TfrmMain>("TfrmMain");
}

TfrmMain::TfrmMain(TComponent* AOwner) : TForm(AOwner) {
  PublishField("Gif", Gif);
  PublishField("Image1", Image1);
  PublishField("PopupMenu", PopupMenu);
  PublishField("pmiOnTop", pmiOnTop);
  PublishField("N1", N1);
  PublishField("ransparent1", ransparent1);
  PublishField("pmi0", pmi0);
  PublishField("pmi10", pmi10);
  PublishField("pmi20", pmi20);
  PublishField("pmi30", pmi30);
  PublishField("pmi40", pmi40);
  PublishField("pmi50", pmi50);
  PublishField("pmi60", pmi60);
  PublishField("pmi70", pmi70);
  PublishField("pmi80", pmi80);
  PublishField("pmi90", pmi90);
  PublishField("N2", N2);
  PublishField("pmiStartUp", pmiStartUp);
  PublishField("pmiAbout", pmiAbout);
  PublishField("pmiExit", pmiExit);
  PublishField("Timer", Timer);
  PublishField("pmiDownload", pmiDownload);
  PublishField("pmiClockInfo", pmiClockInfo);
  PublishField("Software1", Software1);
  PublishField("N3", N3);
  PublishField("pmiTickframe", pmiTickframe);
  PublishField("pmiAdd", pmiAdd);

  PublishMethod<TNotifyEvent>("FormShow", [this](TObject* S) { FormShow(S); });
  PublishMethod<TMouseEvent>("GifMouseDown",
                             [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
                               GifMouseDown(S, B, Sh, X, Y);
                             });
  PublishMethod<TCloseQueryEvent>("FormCloseQuery",
                                  [this](TObject* S, bool& C) { FormCloseQuery(S, C); });
  PublishMethod<TNotifyEvent>("pmi0Click", [this](TObject* S) { pmi0Click(S); });
  PublishMethod<TNotifyEvent>("pmi10Click", [this](TObject* S) { pmi10Click(S); });
  PublishMethod<TNotifyEvent>("pmi20Click", [this](TObject* S) { pmi20Click(S); });
  PublishMethod<TNotifyEvent>("pmi30Click", [this](TObject* S) { pmi30Click(S); });
  PublishMethod<TNotifyEvent>("pmi40Click", [this](TObject* S) { pmi40Click(S); });
  PublishMethod<TNotifyEvent>("pmi50Click", [this](TObject* S) { pmi50Click(S); });
  PublishMethod<TNotifyEvent>("pmi60Click", [this](TObject* S) { pmi60Click(S); });
  PublishMethod<TNotifyEvent>("pmi70Click", [this](TObject* S) { pmi70Click(S); });
  PublishMethod<TNotifyEvent>("pmi80Click", [this](TObject* S) { pmi80Click(S); });
  PublishMethod<TNotifyEvent>("pmi90Click", [this](TObject* S) { pmi90Click(S); });
  PublishMethod<TNotifyEvent>("pmiOnTopClick", [this](TObject* S) { pmiOnTopClick(S); });
  PublishMethod<TNotifyEvent>("pmiAddClick", [this](TObject* S) { pmiAddClick(S); });
  PublishMethod<TNotifyEvent>("pmiAboutClick", [this](TObject* S) { pmiAboutClick(S); });
  PublishMethod<TNotifyEvent>("pmiTickframeClick", [this](TObject* S) { pmiTickframeClick(S); });
  PublishMethod<TNotifyEvent>("pmiClockInfoClick", [this](TObject* S) { pmiClockInfoClick(S); });
  PublishMethod<TNotifyEvent>("pmiExitClick", [this](TObject* S) { pmiExitClick(S); });
  PublishMethod<TNotifyEvent>("TimerTimer", [this](TObject* S) { TimerTimer(S); });
}

void TfrmMain::CreateParams(TCreateParams& Params) {
  TForm::CreateParams(Params);
  Params.WindowClass.style |= CS_DROPSHADOW;
}

// ---- Show sequence, dragging, closing ---------------------------------------------------------

void TfrmMain::FormShow(TObject*) {
  SetWidth(Gif->Width());
  TimerTimer(nullptr);
  // A settings error ends the sequence here: the caller reports it and shows the window.
  LoadSettings();
  ShowWindow(Application()->Handle(), SW_HIDE);
  SetWidth(Gif->Width());
  SetHeight(Gif->Height());
  SetWindowRgn(Handle(), CreateMaskRegion(Image1->Picture()->Bitmap()), true);
  SetWindowLong(Handle(), GWL_HWNDPARENT, static_cast<intptr_t>(GetDesktopWindow()));
}

void TfrmMain::GifMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
  ReleaseCapture();
  Perform(WM_SYSCOMMAND, SC_DRAGMOVE, 0);
}

void TfrmMain::FormCloseQuery(TObject*, bool&) {
  // A failed save raises out of here, so the close is abandoned and the error reported.
  SaveSettings();
}

// ---- Settings -------------------------------------------------------------------------------

namespace {

// A number in [0, Range); 0 when the range is empty, that is when the work area is too small
// for the window: the window then starts at the work area's edge on that axis.
int RandomIn(int Range) {
  return Range > 0 ? SystemServices().Random(Range) : 0;
}

}  // namespace

void TfrmMain::LoadSettings() {
  const TProduct& Product = ActiveProduct();
  auto Registry = std::make_unique<TRegistry>();
  Registry->OpenKey(SettingsKeyPath(Product.Name));
  if (Registry->ValueExists("OnTop")) pmiOnTop->SetChecked(Registry->ReadInteger("OnTop") != 0);
  uint8_t Level = 1;
  if (Registry->ValueExists("TrVal")) Level = static_cast<uint8_t>(Registry->ReadInteger("TrVal"));

  const std::vector<std::string> Arguments = SystemServices().CommandLineArguments();
  const TRect WorkArea = Screen()->WorkAreaRect();
  bool FirstRun = false;
  int NewLeft, NewTop;
  if (!Arguments.empty() && Arguments[0] == "add") {
    SystemServices().Randomize();
    NewLeft = RandomIn(WorkArea.Width() - Width() - 5);
    NewTop = RandomIn(WorkArea.Height() - Height());
  } else if (Registry->ValueExists("Top") && Registry->ValueExists("Left")) {
    NewTop = Registry->ReadInteger("Top");
    NewLeft = Registry->ReadInteger("Left");
    if (NewLeft < -70 || NewLeft > Screen()->Width() - 30) NewLeft = 550;
    if (NewTop < -140 || NewTop > Screen()->Height() - 30) NewTop = 350;
  } else {
    FirstRun = true;
    NewLeft = WorkArea.Width() - Width() - 5;
    NewTop = WorkArea.Height() - Height();
  }
  SetBounds(NewLeft, NewTop, Width(), Height());

  Registry->CloseKey();
  Registry->OpenKey(RunKeyPath);
  if (!FirstRun) pmiStartUp->SetChecked(Registry->ValueExists(Product.Name));
  Registry->CloseKey();
  Registry.reset();

  if (Level <= 9) {
    TMenuItem* Item = LevelItem(Level);
    Item->SetChecked(true);
    if (Item->OnClick) Item->OnClick(nullptr);
  }
  pmiOnTopClick(nullptr);
}

int TfrmMain::LevelToSave() const {
  int Level = -1;
  for (int L = 0; L <= 9; ++L)
    if (LevelItem(L)->Checked()) Level = L;
  if (Level >= 0) return Level;
  if (!AlphaBlend()) return 0;
  for (int L = 1; L <= 9; ++L)
    if (AlphaBlendValue() == 255 - 25 * L) return L;
  return 1;  // the created window's alpha, which no level gives: the default level
}

void TfrmMain::SaveSettings() {
  const TProduct& Product = ActiveProduct();
  const int Level = LevelToSave();
  auto Registry = std::make_unique<TRegistry>();
  Registry->OpenKey(SettingsKeyPath(Product.Name));
  Registry->WriteInteger("OnTop", pmiOnTop->Checked() ? 1 : 0);
  Registry->WriteInteger("TrVal", Level);
  Registry->WriteInteger("Top", Top());
  Registry->WriteInteger("Left", Left());
  Registry->CloseKey();
  Registry->OpenKey(RunKeyPath);
  if (pmiStartUp->Checked())
    Registry->WriteString(Product.Name, SystemServices().ExecutablePath());
  else
    Registry->DeleteValue(Product.Name);
  Registry->CloseKey();
}

// ---- Menu commands --------------------------------------------------------------------------

TMenuItem* TfrmMain::LevelItem(int Level) const {
  TMenuItem* const Items[] = {pmi0, pmi10, pmi20, pmi30, pmi40, pmi50, pmi60, pmi70, pmi80, pmi90};
  return Items[Level];
}

void TfrmMain::ApplyLevel(int Level) {
  if (Level == 0) {
    SetAlphaBlend(false);
    return;
  }
  SetAlphaBlend(true);
  SetAlphaBlendValue(static_cast<uint8_t>(255 - 25 * Level));
}

void TfrmMain::pmi0Click(TObject*) {
  ApplyLevel(0);
}
void TfrmMain::pmi10Click(TObject*) {
  ApplyLevel(1);
}
void TfrmMain::pmi20Click(TObject*) {
  ApplyLevel(2);
}
void TfrmMain::pmi30Click(TObject*) {
  ApplyLevel(3);
}
void TfrmMain::pmi40Click(TObject*) {
  ApplyLevel(4);
}
void TfrmMain::pmi50Click(TObject*) {
  ApplyLevel(5);
}
void TfrmMain::pmi60Click(TObject*) {
  ApplyLevel(6);
}
void TfrmMain::pmi70Click(TObject*) {
  ApplyLevel(7);
}
void TfrmMain::pmi80Click(TObject*) {
  ApplyLevel(8);
}
void TfrmMain::pmi90Click(TObject*) {
  ApplyLevel(9);
}

void TfrmMain::pmiOnTopClick(TObject*) {
  SetWindowPos(Handle(), pmiOnTop->Checked() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE);
}

void TfrmMain::pmiAddClick(TObject*) {
  // The path travels as one argument of its own, spaces and all.
  SystemServices().StartProcess(SystemServices().ExecutablePath(), {"add"});
}

void TfrmMain::pmiAboutClick(TObject*) {
  SystemServices().OpenURL(LinkAddress(ActiveProduct().AboutTag));
}

void TfrmMain::pmiTickframeClick(TObject*) {
  SystemServices().OpenURL(LinkAddress(ActiveProduct().DownloadTag));
}

void TfrmMain::pmiClockInfoClick(TObject*) {
  SystemServices().OpenURL(LinkAddress(ActiveProduct().DownloadTag));
}

void TfrmMain::pmiExitClick(TObject*) {
  Close();
}

// ---- Countdown ------------------------------------------------------------------------------

void TfrmMain::TimerTimer(TObject*) {
  std::string Unit = " days";
  const TDateTimeParts NowAt = NowParts();
  const TDateTime Target = EncodeDate(NowAt.Year, 12, 26);
  const double Days = Target - EncodeDateTime(NowAt);
  const int64_t N = static_cast<int64_t>(std::trunc(Days));
  if (N == 1) Unit = " day";
  Gif->SetHint(std::to_string(N) + Unit + "\rtill Christmas");
  if (N == 0) Gif->SetHint("Merry Christmas!!!");
  if (N < 0) Gif->SetShowHint(false);
}

// ---- Window shape ---------------------------------------------------------------------------

HRGN CreateMaskRegion(TGraphic* Graphic) {
  const int W = Graphic != nullptr ? Graphic->Width() : 0;
  const int H = Graphic != nullptr ? Graphic->Height() : 0;
  HRGN Region = CreateRectRgn(0, 0, W, H);
  if (W == 0 || H == 0) return Region;
  // The pixels are read through a bitmap's canvas; another kind of graphic is drawn on one.
  TBitmap* Mask = dynamic_cast<TBitmap*>(Graphic);
  std::unique_ptr<TBitmap> Drawn;
  if (Mask == nullptr) {
    Drawn = std::make_unique<TBitmap>();
    Drawn->SetPixelFormat(TPixelFormat::pf24bit);
    Drawn->SetSize(W, H);
    Drawn->Canvas().Draw(0, 0, Graphic);
    Mask = Drawn.get();
  }
  TCanvas& Canvas = Mask->Canvas();
  constexpr TColor White = 0xFFFFFF;
  for (int Y = 0; Y < H; ++Y) {
    int RunStart = 0;
    TColor RunColor = Canvas.Pixels(0, Y);
    for (int X = 1; X <= W; ++X) {
      const bool RowEnds = X == W;
      TColor C = RunColor;
      if (!RowEnds) {
        C = Canvas.Pixels(X, Y);
        if (C == RunColor) continue;
      }
      if (RunColor == White) {
        HRGN Run = CreateRectRgn(RunStart, Y, X, Y + 1);
        CombineRgn(Region, Region, Run, RGN_DIFF);
        DeleteObject(Run);
      }
      RunStart = X;
      RunColor = C;
    }
  }
  return Region;
}

}  // namespace orn

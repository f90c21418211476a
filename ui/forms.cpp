#include "ui/forms.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>

#include "core/exceptions.h"
#include "ui/application.h"

namespace orn {

// ---- TFont ------------------------------------------------------------------------------

void TFont::Assign(TPersistent* Source) {
  if (auto* F = dynamic_cast<TFont*>(Source)) {
    Charset = F->Charset;
    Color = F->Color;
    Height = F->Height;
    Name = F->Name;
    Style = F->Style;
    return;
  }
  TPersistent::Assign(Source);
}

void TFont::DeclareProperties(TPropertyList& Props) const {
  TPersistent::DeclareProperties(Props);
  auto P = Props.Of<TFont>();
  P.Int("Charset", &TFont::Charset, &TFont::Charset, 1,
        {{"DEFAULT_CHARSET", 1}, {"ANSI_CHARSET", 0}, {"RUSSIAN_CHARSET", 204}});
  P.Int("Color", &TFont::Color, &TFont::Color, static_cast<int64_t>(clWindowText),
        {{"clWindowText", clWindowText}, {"clBlack", clBlack}, {"clBtnText", clBtnText}});
  P.Int("Height", &TFont::Height, &TFont::Height, -11);
  P.String("Name", &TFont::Name, &TFont::Name, std::string("MS Sans Serif"));
  P.Set("Style", &TFont::Style, &TFont::Style, {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"},
        TFontStyles{0});
}

// ---- TCustomForm ------------------------------------------------------------------------

namespace {

// Copies the pixels of a 32-bit bitmap into top-down 0x00RRGGBB values.
std::vector<uint32_t> FramebufferOf(HBITMAP Bitmap) {
  std::vector<uint32_t> Pixels;
  if (Bitmap == nullptr) return Pixels;
  const TDib& D = Bitmap->Dib;
  Pixels.resize(static_cast<size_t>(D.Width) * static_cast<size_t>(D.Height));
  if (D.BitCount == 32) {
    // A 32-bit row holds blue, green, red and a spare byte: read as a little-endian word and
    // masked, each pixel is already 0x00RRGGBB.
    static_assert(std::endian::native == std::endian::little);
    for (int Y = 0; Y < D.Height; ++Y) {
      uint32_t* Out = Pixels.data() + static_cast<size_t>(Y) * static_cast<size_t>(D.Width);
      std::memcpy(Out, D.ScanLine(Y), static_cast<size_t>(D.Width) * 4);
      for (int X = 0; X < D.Width; ++X) Out[X] &= 0xFFFFFFu;
    }
    return Pixels;
  }
  for (int Y = 0; Y < D.Height; ++Y)
    for (int X = 0; X < D.Width; ++X) {
      const TColor C = D.PixelColor(X, Y);
      Pixels[static_cast<size_t>(Y) * static_cast<size_t>(D.Width) + static_cast<size_t>(X)] =
          (static_cast<uint32_t>(GetRValue(C)) << 16) | (static_cast<uint32_t>(GetGValue(C)) << 8) |
          GetBValue(C);
    }
  return Pixels;
}

// Gives Bitmap the size W x H (32 bits), keeping nothing of the old pixels.
void EnsureSize(HBITMAP& Bitmap, int W, int H) {
  if (Bitmap != nullptr && Bitmap->Dib.Width == W && Bitmap->Dib.Height == H) return;
  if (Bitmap != nullptr) DeleteObject(Bitmap);
  Bitmap = CreateBitmap(std::max(W, 0), std::max(H, 0), 1, 32);
}

}  // namespace

TCustomForm::TCustomForm(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {
  TControl::SetVisible(false);
  SetColor(clBtnFace);
  FLeft = 0;
  FTop = 0;
  FWidth = 320;
  FHeight = 240;
  Screen()->AddForm(this);
}

TCustomForm::~TCustomForm() {
  SetState(TComponentStateItem::csDestroying, true);
  if (OnDestroy) DispatchGuarded(this, [this] { OnDestroy(this); });
  // The owned components go while the form is whole: a worker of one of them may still be
  // painting into the form's window.
  DestroyComponents();
  Application()->FormDestroyed(this);
  Screen()->RemoveForm(this);
  DestroyWnd();
  std::lock_guard<std::recursive_mutex> G(FSurfaceLock);
  if (FSurface != nullptr) DeleteObject(FSurface);
  if (FPaintBuffer != nullptr) DeleteObject(FPaintBuffer);
}

HWND TCustomForm::Handle() {
  if (FHandle == 0) CreateWnd();
  return FHandle;
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  Params.Caption = FCaption;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.Style = 0;
  Params.ExStyle = FAlphaBlend ? WS_EX_LAYERED : 0;
  Params.WindowClass.style = 0;
}

void TCustomForm::CreateWnd() {
  TCreateParams Params;
  CreateParams(Params);
  const HWND Wnd = RegisterWindow([this](TMessage& M) { WndProc(M); });
  TWindowParams W;
  W.Bounds = Bounds(Params.X, Params.Y, Params.Width, Params.Height);
  W.Caption = Params.Caption;
  W.DropShadow = (Params.WindowClass.style & CS_DROPSHADOW) != 0;
  W.Layered = FAlphaBlend;
  W.Alpha = FAlphaBlendValue;
  W.Topmost = (Params.ExStyle & WS_EX_TOPMOST) != 0;
  W.SkipTaskbar = Application()->TaskbarHidden();
  try {
    Platform().CreateWindow(Wnd, this, W);
  } catch (...) {
    UnregisterWindow(Wnd);
    throw;
  }
  FHandle = Wnd;
}

void TCustomForm::DestroyWnd() {
  const HWND Wnd = FHandle.exchange(0);
  if (Wnd == 0) return;
  UnregisterWindow(Wnd);
  if (PlatformInstalled()) Platform().DestroyWindow(Wnd);
}

void TCustomForm::SetAlphaBlend(bool Value) {
  if (FAlphaBlend == Value) return;
  FAlphaBlend = Value;
  if (HandleAllocated()) Platform().SetWindowAlpha(FHandle, FAlphaBlend, FAlphaBlendValue);
}

void TCustomForm::SetAlphaBlendValue(uint8_t Value) {
  if (FAlphaBlendValue == Value) return;
  FAlphaBlendValue = Value;
  if (HandleAllocated() && FAlphaBlend)
    Platform().SetWindowAlpha(FHandle, FAlphaBlend, FAlphaBlendValue);
}

void TCustomForm::SetCaption(const std::string& Value) {
  if (FCaption == Value) return;
  FCaption = Value;
  if (HandleAllocated()) Platform().SetWindowCaption(FHandle, FCaption);
}

void TCustomForm::SetVisible(bool Value) {
  if (InState(TComponentStateItem::csLoading)) {
    FVisibleAfterLoad = Value;
    return;
  }
  if (Value == Visible()) return;
  if (Value) {
    HandleNeeded();
    // Everything OnShow does is in place before the window is first seen; an exception in
    // it is reported and the window is shown all the same.
    DispatchGuarded(this, [this] { DoShow(); });
    TControl::SetVisible(true);
    Realign();
    Platform().SetWindowBounds(FHandle, BoundsRect());
    PaintNow();
    Platform().ShowWindow(FHandle, true);
    Screen()->SetActiveForm(this);
  } else {
    TControl::SetVisible(false);
    if (HandleAllocated()) Platform().ShowWindow(FHandle, false);
    if (Screen()->ActiveForm() == this) Screen()->SetActiveForm(nullptr);
    DispatchGuarded(this, [this] { DoHide(); });
  }
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  if (OnCreate) DispatchGuarded(this, [this] { OnCreate(this); });
  if (FVisibleAfterLoad) {
    FVisibleAfterLoad = false;
    SetVisible(true);
  }
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const TRect Old = BoundsRect();
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (BoundsRect() == Old) return;
  if (Old.Width() != Width() || Old.Height() != Height()) Realign();
  if (HandleAllocated() && !FMovedByUser) Platform().SetWindowBounds(FHandle, BoundsRect());
}

TPoint TCustomForm::ClientToScreen(TPoint P) const {
  return TPoint{P.X + FLeft, P.Y + FTop};
}
TPoint TCustomForm::ScreenToClient(TPoint P) const {
  return TPoint{P.X - FLeft, P.Y - FTop};
}

bool TCustomForm::CloseQuery() {
  bool CanClose = true;
  if (OnCloseQuery) OnCloseQuery(this, CanClose);
  return CanClose;
}

void TCustomForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction Action = TCloseAction::caHide;
  if (OnClose) OnClose(this, Action);
  if (Action == TCloseAction::caNone) return;
  if (Application()->MainForm() == this)
    Application()->Terminate();
  else
    Hide();
}

bool TCustomForm::Active() const {
  return Screen()->ActiveForm() == this;
}

void TCustomForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SYSCOMMAND:
      if ((Message.WParam & 0xFFF0) == SC_MOVE) {
        // The move continues the press being handled; without one it starts from the form's
        // corner with the left button.
        TMoveDragStart Start = FPress;
        if (!FPressHeld) Start = TMoveDragStart{TMouseButton::mbLeft, TPoint{Left(), Top()}, 0};
        Platform().BeginMoveDrag(Handle(), Start);
      } else if ((Message.WParam & 0xFFF0) == SC_CLOSE) {
        Close();
      }
      Message.Result = 0;
      return;
    case WM_CLOSE:
      Close();
      Message.Result = 0;
      return;
    case WM_PAINT:
      if (Message.WParam == 0) {
        FPaintPosted = false;
        Update();
        Message.Result = 0;
        return;
      }
      break;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
      // A true-colour display has no palette to realise.
      Message.Result = 0;
      return;
    default:
      break;
  }
  TWinControl::Dispatch(Message);
}

void TCustomForm::PaintWindow(HDC Dc) {
  if (!OnPaint) return;
  FCanvas->Lock();
  try {
    FCanvas->SetHandle(Dc);
    OnPaint(this);
  } catch (...) {
    FCanvas->SetHandle(nullptr);
    FCanvas->Unlock();
    throw;
  }
  FCanvas->SetHandle(nullptr);
  FCanvas->Unlock();
}

void TCustomForm::Invalidate() {
  InvalidateRect(ClientRect());
}

void TCustomForm::InvalidateRect(const TRect&) {
  FPaintPending = true;
  if (FPaintPosted || !Visible() || !HandleAllocated()) return;
  FPaintPosted = PostMessage(FHandle, WM_PAINT, 0, 0);
}

void TCustomForm::Update() {
  if (FPaintPending) PaintNow();
}

void TCustomForm::PaintNow() {
  FPaintPending = false;
  if (!Visible() || !HandleAllocated()) return;
  const int W = ClientWidth(), H = ClientHeight();
  EnsureSize(FPaintBuffer, W, H);
  HDC Dc = CreateCompatibleDC(nullptr);
  HBITMAP Old = SelectObject(Dc, FPaintBuffer);
  try {
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(Dc), 0);
    Perform(WM_PAINT, reinterpret_cast<WPARAM>(Dc), 0);
  } catch (...) {
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    throw;
  }
  HDC Surface = LockSurface();
  BitBlt(Surface, 0, 0, W, H, Dc, 0, 0, SRCCOPY);
  UnlockSurface(Surface, true);
  SelectObject(Dc, Old);
  DeleteDC(Dc);
}

HDC TCustomForm::LockSurface() {
  FSurfaceLock.lock();
  EnsureSize(FSurface, std::max(ClientWidth(), 0), std::max(ClientHeight(), 0));
  HDC Dc = CreateCompatibleDC(nullptr);
  SelectObject(Dc, FSurface);
  return Dc;
}

void TCustomForm::UnlockSurface(HDC Dc, bool Present) {
  if (Dc != nullptr) DeleteDC(Dc);
  if (Present) PresentSurface();
  FSurfaceLock.unlock();
}

void TCustomForm::PresentSurface() {
  std::lock_guard<std::recursive_mutex> G(FSurfaceLock);
  const HWND Wnd = FHandle;
  if (Wnd == 0 || FSurface == nullptr || !PlatformInstalled()) return;
  std::vector<uint32_t> Pixels = FramebufferOf(FSurface);
  Platform().PresentPixels(Wnd, FSurface->Dib.Width, FSurface->Dib.Height, Pixels.data());
}

// ---- Window-system events ----------------------------------------------------------------

void TCustomForm::WindowMouse(const TMouseInput& Input) {
  if (Input.Action == TMouseAction::maDown) {
    FPress = TMoveDragStart{Input.Button, Input.Screen, Input.Time};
    FPressHeld = true;
  } else if (Input.Action == TMouseAction::maUp) {
    FPressHeld = false;
  }
  DispatchGuarded(this,
                  [&] { RouteMouse(Input.Action, Input.Button, Input.Shift, Input.X, Input.Y); });
}

namespace {

UINT MouseMessage(TMouseAction Action, TMouseButton Button) {
  const bool Down = Action == TMouseAction::maDown;
  switch (Button) {
    case TMouseButton::mbLeft:
      return Down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case TMouseButton::mbRight:
      return Down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case TMouseButton::mbMiddle:
      return Down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
  }
  return WM_NULL;
}

WPARAM KeysOf(TShiftState Shift) {
  WPARAM K = 0;
  if (Shift & ssShift) K |= MK_SHIFT;
  if (Shift & ssCtrl) K |= MK_CONTROL;
  if (Shift & ssLeft) K |= MK_LBUTTON;
  if (Shift & ssRight) K |= MK_RBUTTON;
  if (Shift & ssMiddle) K |= MK_MBUTTON;
  return K;
}

}  // namespace

void TCustomForm::RouteMouse(TMouseAction Action, TMouseButton Button, TShiftState Shift, int X,
                             int Y) {
  if (Action == TMouseAction::maLeave) {
    if (FMouseControl != nullptr) FMouseControl->Perform(CM_MOUSELEAVE, 0, 0);
    FMouseControl = nullptr;
    Application()->HintMouseMessage(nullptr, ClientToScreen(TPoint{X, Y}));
    return;
  }
  TControl* Target = FCaptureControl;
  if (Target == nullptr) Target = ControlAtPos(TPoint{X, Y}, false);
  if (Target == nullptr) Target = this;
  TPoint P{X, Y};
  if (Target != this) P = TPoint{X - Target->Left(), Y - Target->Top()};

  if (Action == TMouseAction::maMove) {
    if (Target != FMouseControl) {
      if (FMouseControl != nullptr) FMouseControl->Perform(CM_MOUSELEAVE, 0, 0);
      FMouseControl = Target;
      Target->Perform(CM_MOUSEENTER, 0, 0);
    }
    Application()->HintMouseMessage(Target, ClientToScreen(TPoint{X, Y}));
    Target->Perform(WM_MOUSEMOVE, KeysOf(Shift), MakeLParam(P.X, P.Y));
    return;
  }
  Application()->CancelHint();
  if (Action == TMouseAction::maDown) {
    if (Target != this && (Target->ControlStyle() & csCaptureMouse)) FCaptureControl = Target;
    Target->Perform(MouseMessage(Action, Button), KeysOf(Shift), MakeLParam(P.X, P.Y));
  } else {
    FCaptureControl = nullptr;
    Target->Perform(MouseMessage(Action, Button), KeysOf(Shift), MakeLParam(P.X, P.Y));
  }
}

void TCustomForm::ReleaseMouseCapture() {
  FCaptureControl = nullptr;
}

void TCustomForm::WindowMoved(int Left, int Top) {
  FMovedByUser = true;
  DispatchGuarded(this, [&] { SetBounds(Left, Top, Width(), Height()); });
  FMovedByUser = false;
}

void TCustomForm::WindowCloseRequest() {
  DispatchGuarded(this, [this] { Close(); });
}

bool TCustomForm::WindowQueryEndSession() {
  bool CanEnd = false;
  DispatchGuarded(this, [&] { CanEnd = CloseQuery(); });
  return CanEnd;
}

void TCustomForm::WindowExposed() {
  DispatchGuarded(this, [this] { PresentSurface(); });
}

void TCustomForm::DeclareProperties(TPropertyList& Props) const {
  TWinControl::DeclareProperties(Props);
  auto P = Props.Of<TCustomForm>();
  P.Int("Left", &TCustomForm::Left, &TCustomForm::SetLeft);
  P.Int("Top", &TCustomForm::Top, &TCustomForm::SetTop);
  P.Int("Width", &TCustomForm::Width, &TCustomForm::SetWidth);
  P.Int("Height", &TCustomForm::Height, &TCustomForm::SetHeight);
  P.Set("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons,
        {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
        biSystemMenu | biMinimize | biMaximize);
  P.Enum("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle,
         {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
         TFormBorderStyle::bsSizeable);
  P.Bool("AlphaBlend", &TCustomForm::AlphaBlend, &TCustomForm::SetAlphaBlend, false);
  P.Int("AlphaBlendValue", &TCustomForm::AlphaBlendValue, &TCustomForm::SetAlphaBlendValue, 255);
  P.String(
      "Caption", [](TCustomForm& F) { return F.Caption(); }, &TCustomForm::SetCaption);
  P.Int("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight);
  P.Int("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth);
  TControl::DeclareColorProperties(Props);
  Props.SetDefault("Color", static_cast<int64_t>(clBtnFace));
  P.Object("Font", &TCustomForm::Font);
  P.Bool("OldCreateOrder", &TCustomForm::OldCreateOrder, &TCustomForm::SetOldCreateOrder);
  P.Enum("Position", &TCustomForm::Position, &TCustomForm::SetPosition,
         {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
          "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
         TPosition::poDesigned);
  P.String(
      "Hint", [](TCustomForm& F) { return F.Hint(); }, &TCustomForm::SetHint, std::string());
  P.Bool("ShowHint", &TCustomForm::ShowHint, &TCustomForm::SetShowHint, false);
  P.Bool("Visible", &TCustomForm::Visible, &TCustomForm::SetVisible, false);
  P.Event("OnActivate", &TCustomForm::OnActivate, &TCustomForm::OnActivate);
  P.Event("OnClose", &TCustomForm::OnClose, &TCustomForm::OnClose);
  P.Event("OnCloseQuery", &TCustomForm::OnCloseQuery, &TCustomForm::OnCloseQuery);
  P.Event("OnCreate", &TCustomForm::OnCreate, &TCustomForm::OnCreate);
  P.Event("OnDestroy", &TCustomForm::OnDestroy, &TCustomForm::OnDestroy);
  P.Event("OnHide", &TCustomForm::OnHide, &TCustomForm::OnHide);
  P.Event("OnPaint", &TCustomForm::OnPaint, &TCustomForm::OnPaint);
  P.Event("OnShow", &TCustomForm::OnShow, &TCustomForm::OnShow);
  TControl::DeclareMouseEvents(Props);
  P.Int("PixelsPerInch", &TCustomForm::PixelsPerInch, &TCustomForm::SetPixelsPerInch);
  P.Int("TextHeight", &TCustomForm::TextHeight, &TCustomForm::SetTextHeight);
}

// ---- TScreen ----------------------------------------------------------------------------

TCustomForm* TScreen::Forms(int Index) const {
  std::lock_guard<std::mutex> G(FLock);
  if (Index < 0 || Index >= static_cast<int>(FForms.size())) ListIndexError(Index);
  return FForms[static_cast<size_t>(Index)];
}

void TScreen::SetActiveForm(TCustomForm* Form) {
  FActiveForm = Form;
  if (Form != nullptr && Form->OnActivate) Form->OnActivate(Form);
}

TRect TScreen::WorkAreaRect() const {
  return Platform().WorkArea();
}
int TScreen::Width() const {
  return Platform().ScreenSize().X;
}
int TScreen::Height() const {
  return Platform().ScreenSize().Y;
}

void TScreen::AddForm(TCustomForm* Form) {
  std::lock_guard<std::mutex> G(FLock);
  FForms.push_back(Form);
}

void TScreen::RemoveForm(TCustomForm* Form) {
  std::lock_guard<std::mutex> G(FLock);
  FForms.erase(std::remove(FForms.begin(), FForms.end(), Form), FForms.end());
  if (FActiveForm == Form) FActiveForm = nullptr;
}

TCustomForm* TScreen::FindForm(HWND Wnd) const {
  if (Wnd == 0) return nullptr;
  std::lock_guard<std::mutex> G(FLock);
  for (TCustomForm* F : FForms)
    if (F->HandleAllocated() && F->Handle() == Wnd) return F;
  return nullptr;
}

TScreen* Screen() {
  static TScreen* S = new TScreen(nullptr);  // lives for the whole process
  return S;
}

// ---- Window functions ---------------------------------------------------------------------

namespace {
std::mutex GOwnerLock;
std::map<HWND, intptr_t> GOwners;
constexpr HWND DesktopWindow = 0x10010;
}  // namespace

bool ShowWindow(HWND Wnd, int CmdShow) {
  if (Wnd != 0 && Wnd == Application()->Handle()) {
    Application()->SetTaskbarHidden(CmdShow == SW_HIDE);
    return true;
  }
  TCustomForm* F = Screen()->FindForm(Wnd);
  if (F == nullptr) return false;
  const bool Was = F->Visible();
  F->SetVisible(CmdShow != SW_HIDE);
  return Was;
}

bool SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags) {
  TCustomForm* F = Screen()->FindForm(Wnd);
  if (F == nullptr) return false;
  if (!(Flags & SWP_NOZORDER)) {
    if (InsertAfter == HWND_TOPMOST) Platform().SetWindowTopmost(Wnd, true);
    if (InsertAfter == HWND_NOTOPMOST) Platform().SetWindowTopmost(Wnd, false);
  }
  const int L = (Flags & SWP_NOMOVE) ? F->Left() : X;
  const int T = (Flags & SWP_NOMOVE) ? F->Top() : Y;
  const int W = (Flags & SWP_NOSIZE) ? F->Width() : CX;
  const int H = (Flags & SWP_NOSIZE) ? F->Height() : CY;
  F->SetBounds(L, T, W, H);
  return true;
}

int SetWindowRgn(HWND Wnd, HRGN Region, bool Redraw) {
  TCustomForm* F = Screen()->FindForm(Wnd);
  if (F == nullptr) return 0;
  if (Region == nullptr) {
    Platform().SetWindowRegion(Wnd, nullptr);
  } else {
    const std::vector<TRect> Rects = GetRegionRects(Region);
    DeleteObject(Region);  // the window system owns the region now: keep only its rectangles
    Platform().SetWindowRegion(Wnd, &Rects);
  }
  if (Redraw) F->Invalidate();
  return 1;
}

intptr_t SetWindowLong(HWND Wnd, int Index, intptr_t Value) {
  if (Index != GWL_HWNDPARENT || Screen()->FindForm(Wnd) == nullptr) return 0;
  intptr_t Old;
  {
    std::lock_guard<std::mutex> G(GOwnerLock);
    Old = GOwners[Wnd];
    GOwners[Wnd] = Value;
  }
  Platform().SetWindowOwnerDesktop(Wnd, static_cast<HWND>(Value) == DesktopWindow);
  return Old;
}

intptr_t GetWindowLong(HWND Wnd, int Index) {
  if (Index != GWL_HWNDPARENT) return 0;
  std::lock_guard<std::mutex> G(GOwnerLock);
  auto It = GOwners.find(Wnd);
  return It == GOwners.end() ? 0 : It->second;
}

HWND GetDesktopWindow() {
  return DesktopWindow;
}

bool ReleaseCapture() {
  for (int I = 0; I < Screen()->FormCount(); ++I) Screen()->Forms(I)->ReleaseMouseCapture();
  if (PlatformInstalled()) Platform().ReleaseCapture();
  return true;
}

HDC GetDC(HWND Wnd) {
  TCustomForm* F = Screen()->FindForm(Wnd);
  return F != nullptr ? F->LockSurface() : nullptr;
}

int ReleaseDC(HWND Wnd, HDC Dc) {
  TCustomForm* F = Screen()->FindForm(Wnd);
  if (F == nullptr || Dc == nullptr) return 0;
  F->UnlockSurface(Dc, true);
  return 1;
}

}  // namespace orn

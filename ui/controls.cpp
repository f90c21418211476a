#include "ui/controls.h"

#include <algorithm>

#include "core/exceptions.h"
#include "core/scope.h"
#include "gfx/guards.h"
#include "ui/application.h"
#include "ui/forms.h"
#include "ui/menus.h"

namespace orn {

// ---- TSizeConstraints -------------------------------------------------------------------

void TSizeConstraints::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TSizeConstraints*>(Source)) {
    FMaxHeight = S->FMaxHeight;
    FMaxWidth = S->FMaxWidth;
    FMinHeight = S->FMinHeight;
    FMinWidth = S->FMinWidth;
    if (OnChange) OnChange(this);
    return;
  }
  TPersistent::Assign(Source);
}

#define ORN_CONSTRAINT_SETTER(Name, Field)      \
  void TSizeConstraints::Set##Name(int Value) { \
    if (Value < 0) Value = 0;                   \
    if (Field == Value) return;                 \
    Field = Value;                              \
    if (OnChange) OnChange(this);               \
  }
ORN_CONSTRAINT_SETTER(MaxHeight, FMaxHeight)
ORN_CONSTRAINT_SETTER(MaxWidth, FMaxWidth)
ORN_CONSTRAINT_SETTER(MinHeight, FMinHeight)
ORN_CONSTRAINT_SETTER(MinWidth, FMinWidth)
#undef ORN_CONSTRAINT_SETTER

void TSizeConstraints::Constrain(int& Width, int& Height) const {
  if (FMaxWidth > 0 && Width > FMaxWidth) Width = FMaxWidth;
  if (FMaxHeight > 0 && Height > FMaxHeight) Height = FMaxHeight;
  if (Width < FMinWidth) Width = FMinWidth;
  if (Height < FMinHeight) Height = FMinHeight;
}

// ---- TControl ---------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  FConstraints.OnChange = [this](TObject*) { SetBounds(FLeft, FTop, FWidth, FHeight); };
}

TControl::~TControl() {
  if (FParent != nullptr) FParent->RemoveControl(this);
  Application()->ControlDestroyed(this);
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage M{Msg, WParam, LParam, 0};
  WndProc(M);
  return M.Result;
}

void TControl::WndProc(TMessage& Message) {
  Dispatch(Message);
}

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT:
      WMPaint(Message);
      break;
    case WM_ERASEBKGND:
      WMEraseBkgnd(Message);
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      WMMouse(Message);
      break;
    case WM_CONTEXTMENU:
      WMContextMenu(Message);
      break;
    default:
      DefaultHandler(Message);
  }
}

void TControl::DefaultHandler(TMessage& Message) {
  Message.Result = 0;
}

void TControl::WMPaint(TMessage& Message) {
  DefaultHandler(Message);
}
void TControl::WMEraseBkgnd(TMessage& Message) {
  DefaultHandler(Message);
}

namespace {

TShiftState ShiftFromKeys(WPARAM Keys) {
  TShiftState S = 0;
  if (Keys & MK_SHIFT) S |= ssShift;
  if (Keys & MK_CONTROL) S |= ssCtrl;
  if (Keys & MK_LBUTTON) S |= ssLeft;
  if (Keys & MK_RBUTTON) S |= ssRight;
  if (Keys & MK_MBUTTON) S |= ssMiddle;
  return S;
}

}  // namespace

void TControl::WMMouse(TMessage& Message) {
  const int X = LParamX(Message.LParam);
  const int Y = LParamY(Message.LParam);
  TShiftState Shift = ShiftFromKeys(Message.WParam);
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
      MouseMove(Shift, X, Y);
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (Message.Msg == WM_LBUTTONDBLCLK) {
        Shift |= ssDouble;
        if (FControlStyle & csDoubleClicks) DblClick();
      }
      FControlState |= csLButtonDown | csClicked;
      MouseDown(TMouseButton::mbLeft, Shift, X, Y);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseDown(TMouseButton::mbRight, Shift, X, Y);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseDown(TMouseButton::mbMiddle, Shift, X, Y);
      break;
    case WM_LBUTTONUP: {
      const bool WasClicked = (FControlState & csClicked) != 0;
      FControlState &= ~(csLButtonDown | csClicked);
      if (WasClicked && (FControlStyle & csClickEvents) && ClientRect().Contains(X, Y)) Click();
      MouseUp(TMouseButton::mbLeft, Shift, X, Y);
      break;
    }
    case WM_RBUTTONUP: {
      MouseUp(TMouseButton::mbRight, Shift, X, Y);
      // A released right button asks for the context menu at the screen point.
      const TPoint P = ClientToScreen(TPoint{X, Y});
      Perform(WM_CONTEXTMENU, 0, MakeLParam(P.X, P.Y));
      break;
    }
    case WM_MBUTTONUP:
      MouseUp(TMouseButton::mbMiddle, Shift, X, Y);
      break;
  }
  Message.Result = 0;
}

void TControl::WMContextMenu(TMessage& Message) {
  const TPoint Screen{LParamX(Message.LParam), LParamY(Message.LParam)};
  bool Handled = false;
  if (OnContextPopup) OnContextPopup(this, ScreenToClient(Screen), Handled);
  if (Handled) {
    Message.Result = 1;
    return;
  }
  if (FPopupMenu != nullptr && FPopupMenu->AutoPopup()) {
    FPopupMenu->SetPopupComponent(this);
    Message.Result = 1;
    FPopupMenu->Popup(Screen.X, Screen.Y);
  }
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EComponentError("A control cannot have itself as its parent");
  if (FParent != nullptr) {
    if (FVisible) FParent->InvalidateRect(BoundsRect());
    FParent->RemoveControl(this);
  }
  if (AParent != nullptr) {
    AParent->InsertControl(this);
    ParentColorChanged();
    ParentShowHintChanged();
    Invalidate();
    if (FAlign != TAlign::alNone) AParent->Realign();
  }
}

void TControl::SetParentComponent(TComponent* Value) {
  if (auto* W = dynamic_cast<TWinControl*>(Value)) SetParent(W);
}

TComponent* TControl::GetParentComponent() const {
  return FParent;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  FConstraints.Constrain(AWidth, AHeight);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  const bool Resized = AWidth != FWidth || AHeight != FHeight;
  Invalidate();
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  Invalidate();
  if (Resized) Resize();
  if (FParent != nullptr && FAlign != TAlign::alNone && !FAdjusting) FParent->Realign();
}

void TControl::SetClientWidth(int Value) {
  SetWidth(Value + (FWidth - ClientWidth()));
}
void TControl::SetClientHeight(int Value) {
  SetHeight(Value + (FHeight - ClientHeight()));
}

TPoint TControl::ClientToScreen(TPoint P) const {
  TPoint R{P.X + FLeft, P.Y + FTop};
  return FParent != nullptr ? FParent->ClientToScreen(R) : R;
}

TPoint TControl::ScreenToClient(TPoint P) const {
  const TPoint Origin = ClientToScreen(TPoint{0, 0});
  return TPoint{P.X - Origin.X, P.Y - Origin.Y};
}

void TControl::SetAlign(TAlign Value) {
  if (FAlign == Value) return;
  FAlign = Value;
  if (FParent != nullptr) FParent->Realign();
}

void TControl::SetAutoSize(bool Value) {
  if (FAutoSize == Value) return;
  FAutoSize = Value;
  if (Value) AdjustSize();
}

bool TControl::CanAutoSize(int&, int&) {
  return true;
}

void TControl::AdjustSize() {
  if (!FAutoSize || FAdjusting || InState(TComponentStateItem::csLoading)) return;
  int W = FWidth, H = FHeight;
  if (!CanAutoSize(W, H)) return;
  TScopedValue<bool> Adjusting(FAdjusting, true);
  SetBounds(FLeft, FTop, W, H);
}

void TControl::SetVisible(bool Value) {
  if (FVisible == Value) return;
  if (FVisible) Invalidate();
  FVisible = Value;
  if (FVisible) Invalidate();
  if (FParent != nullptr && FAlign != TAlign::alNone) FParent->Realign();
}

void TControl::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  Invalidate();
}

void TControl::SetColor(TColor Value) {
  FParentColor = false;
  if (FColor == Value) return;
  FColor = Value;
  ColorChanged();
}

void TControl::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (FParentColor && FParent != nullptr && FColor != FParent->Color()) {
    FColor = FParent->Color();
    ColorChanged();
  }
}

void TControl::SetShowHint(bool Value) {
  FParentShowHint = false;
  FShowHint = Value;
}

void TControl::SetParentShowHint(bool Value) {
  if (FParentShowHint == Value) return;
  FParentShowHint = Value;
  ParentShowHintChanged();
}

void TControl::ParentShowHintChanged() {
  if (FParentShowHint && FParent != nullptr) FShowHint = FParent->ShowHint();
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (FPopupMenu == Value) return;
  if (FPopupMenu != nullptr) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = Value;
  if (FPopupMenu != nullptr) FPopupMenu->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::Invalidate() {
  if (FParent != nullptr && FVisible) FParent->InvalidateRect(BoundsRect());
}

void TControl::Update() {
  if (FParent != nullptr) FParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::Loaded() {
  TComponent::Loaded();
  ParentColorChanged();
  ParentShowHintChanged();
}

void TControl::DeclareBaseProperties(TPropertyList& Props) {
  auto P = Props.Of<TControl>();
  P.Int("Left", &TControl::Left, &TControl::SetLeft, 0);
  P.Int("Top", &TControl::Top, &TControl::SetTop, 0);
  P.Int("Width", &TControl::Width, &TControl::SetWidth);
  P.Int("Height", &TControl::Height, &TControl::SetHeight);
  P.String(
      "Hint", [](TControl& C) { return C.Hint(); }, &TControl::SetHint, std::string());
  P.Bool("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint, true);
  P.Bool("ShowHint", &TControl::ShowHint, &TControl::SetShowHint);
  P.StoredWhen("ShowHint", [](TControl& C) { return !C.ParentShowHint(); });
  P.Bool("Visible", &TControl::Visible, &TControl::SetVisible, true);
}

void TControl::DeclareColorProperties(TPropertyList& Props) {
  auto P = Props.Of<TControl>();
  P.Int("Color", &TControl::Color, &TControl::SetColor, static_cast<int64_t>(clWindow),
        {{"clBtnFace", clBtnFace},
         {"clWindow", clWindow},
         {"clWindowText", clWindowText},
         {"clBlack", clBlack},
         {"clWhite", clWhite},
         {"clNone", clNone},
         {"clDefault", clDefault},
         {"clFuchsia", clFuchsia},
         {"clInfoBk", clInfoBk}});
  P.StoredWhen("Color", [](TControl& C) { return !C.ParentColor(); });
  P.Bool("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, false);
}

void TControl::DeclareLayoutProperties(TPropertyList& Props) {
  auto P = Props.Of<TControl>();
  P.Enum("Align", &TControl::Align, &TControl::SetAlign,
         {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"},
         TAlign::alNone);
  P.Set("Anchors", &TControl::Anchors, &TControl::SetAnchors,
        {"akLeft", "akTop", "akRight", "akBottom"}, akLeft | akTop);
  P.Object("Constraints", [](TControl& C) { return &C.Constraints(); });
  P.Int("Cursor", &TControl::Cursor, &TControl::SetCursor, crDefault,
        {{"crDefault", crDefault}, {"crDrag", crDrag}});
  P.Int("DragCursor", &TControl::DragCursor, &TControl::SetDragCursor, crDrag,
        {{"crDefault", crDefault}, {"crDrag", crDrag}});
  P.Enum("DragKind", &TControl::DragKind, &TControl::SetDragKind, {"dkDrag", "dkDock"},
         TDragKind::dkDrag);
  P.Enum("DragMode", &TControl::DragMode, &TControl::SetDragMode, {"dmManual", "dmAutomatic"},
         TDragMode::dmManual);
  P.Bool("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
  P.Component("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu);
}

void TControl::DeclareMouseEvents(TPropertyList& Props) {
  auto P = Props.Of<TControl>();
  P.Event("OnClick", &TControl::OnClick, &TControl::OnClick);
  P.Event("OnDblClick", &TControl::OnDblClick, &TControl::OnDblClick);
  P.Event("OnDragOver", &TControl::OnDragOver, &TControl::OnDragOver);
  P.Event("OnDragDrop", &TControl::OnDragDrop, &TControl::OnDragDrop);
  P.Event("OnEndDrag", &TControl::OnEndDrag, &TControl::OnEndDrag);
  P.Event("OnMouseMove", &TControl::OnMouseMove, &TControl::OnMouseMove);
  P.Event("OnMouseDown", &TControl::OnMouseDown, &TControl::OnMouseDown);
  P.Event("OnMouseUp", &TControl::OnMouseUp, &TControl::OnMouseUp);
  P.Event("OnContextPopup", &TControl::OnContextPopup, &TControl::OnContextPopup);
  P.Event("OnStartDrag", &TControl::OnStartDrag, &TControl::OnStartDrag);
  P.Event("OnEndDock", &TControl::OnEndDock, &TControl::OnEndDock);
  P.Event("OnStartDock", &TControl::OnStartDock, &TControl::OnStartDock);
}

void TSizeConstraints::DeclareProperties(TPropertyList& Props) const {
  TPersistent::DeclareProperties(Props);
  auto P = Props.Of<TSizeConstraints>();
  P.Int("MaxHeight", &TSizeConstraints::MaxHeight, &TSizeConstraints::SetMaxHeight, 0);
  P.Int("MaxWidth", &TSizeConstraints::MaxWidth, &TSizeConstraints::SetMaxWidth, 0);
  P.Int("MinHeight", &TSizeConstraints::MinHeight, &TSizeConstraints::SetMinHeight, 0);
  P.Int("MinWidth", &TSizeConstraints::MinWidth, &TSizeConstraints::SetMinWidth, 0);
}

// ---- TWinControl ------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
  FControlStyle |= csAcceptsControls;
}

TWinControl::~TWinControl() {
  // Children are destroyed by their owner later; they must not reach back into this one.
  for (TControl* C : FControls) C->FParent = nullptr;
  FControls.clear();
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount()) ListIndexError(Index);
  return FControls[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
  if (AControl == nullptr) return;
  if (std::find(FControls.begin(), FControls.end(), AControl) == FControls.end())
    FControls.push_back(AControl);
  AControl->FParent = this;
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto It = std::find(FControls.begin(), FControls.end(), AControl);
  if (It != FControls.end()) FControls.erase(It);
  if (AControl != nullptr && AControl->FParent == this) AControl->FParent = nullptr;
}

void TWinControl::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  for (TControl* C : FControls)
    if (C->Owner() == Root) Proc(C);
  TComponent::GetChildren(Proc, Root);
}

TControl* TWinControl::ControlAtPos(TPoint P, bool AllowDisabled) const {
  for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
    TControl* C = *It;
    if (C->Visible() && (C->Enabled() || AllowDisabled) && C->BoundsRect().Contains(P.X, P.Y))
      return C;
  }
  return nullptr;
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintControls(HDC Dc, TControl* First) {
  if (Dc == nullptr) return;
  size_t Start = 0;
  if (First != nullptr) {
    auto It = std::find(FControls.begin(), FControls.end(), First);
    if (It != FControls.end()) Start = static_cast<size_t>(It - FControls.begin());
  }
  TRect ClipBox;
  GetClipBox(Dc, ClipBox);
  // The list may change while a control paints; work on a copy.
  std::vector<TControl*> List(FControls.begin() + static_cast<std::ptrdiff_t>(Start),
                              FControls.end());
  for (TControl* C : List) {
    if (C->IsWindowed() || !C->Visible()) continue;
    TRect Overlap;
    if (!IntersectRect(Overlap, C->BoundsRect(), ClipBox)) continue;
    TSavedDC Saved(Dc);
    TPoint Org;
    GetViewportOrgEx(Dc, Org);
    SetViewportOrgEx(Dc, Org.X + C->Left(), Org.Y + C->Top(), nullptr);
    IntersectClipRect(Dc, 0, 0, C->Width(), C->Height());
    C->Perform(WM_PAINT, reinterpret_cast<WPARAM>(Dc), 0);
  }
}

void TWinControl::WMPaint(TMessage& Message) {
  HDC Dc = reinterpret_cast<HDC>(Message.WParam);
  if (Dc == nullptr) return;
  PaintWindow(Dc);
  PaintControls(Dc, nullptr);
  Message.Result = 0;
}

void TWinControl::WMEraseBkgnd(TMessage& Message) {
  HDC Dc = reinterpret_cast<HDC>(Message.WParam);
  if (Dc == nullptr) return;
  FillRect(Dc, ClientRect(), ColorToRGB(Color()));
  Message.Result = 1;
}

void TWinControl::InvalidateRect(const TRect& R) {
  if (Parent() != nullptr && Visible())
    Parent()->InvalidateRect(
        Rect(R.Left + Left(), R.Top + Top(), R.Right + Left(), R.Bottom + Top()));
}

void TWinControl::AlignControls(TControl*, TRect& R) {
  auto Place = [&](TControl* C) {
    int W = C->Width(), H = C->Height();
    switch (C->Align()) {
      case TAlign::alTop:
        C->SetBounds(R.Left, R.Top, R.Width(), H);
        R.Top += C->Height();
        break;
      case TAlign::alBottom:
        C->SetBounds(R.Left, R.Bottom - H, R.Width(), H);
        R.Bottom -= C->Height();
        break;
      case TAlign::alLeft:
        C->SetBounds(R.Left, R.Top, W, R.Height());
        R.Left += C->Width();
        break;
      case TAlign::alRight:
        C->SetBounds(R.Right - W, R.Top, W, R.Height());
        R.Right -= C->Width();
        break;
      case TAlign::alClient:
        C->SetBounds(R.Left, R.Top, R.Width(), R.Height());
        break;
      default:
        break;
    }
  };
  const TAlign Order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight,
                          TAlign::alClient};
  for (TAlign A : Order)
    for (TControl* C : std::vector<TControl*>(FControls))
      if (C->Visible() && C->Align() == A) Place(C);
}

void TWinControl::Realign() {
  if (InState(TComponentStateItem::csLoading) || InState(TComponentStateItem::csDestroying)) return;
  TRect R = ClientRect();
  for (TControl* C : FControls) C->FAdjusting = true;
  TScopeExit Done([this] {
    for (TControl* C : FControls) C->FAdjusting = false;
  });
  AlignControls(nullptr, R);
}

// ---- TGraphicControl --------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WMPaint(TMessage& Message) {
  HDC Dc = reinterpret_cast<HDC>(Message.WParam);
  if (Dc == nullptr) return;
  {
    TCanvasLock Lock(*FCanvas);
    TCanvasHandle Target(*FCanvas, Dc);
    Paint();
  }
  Message.Result = 0;
}

// ---- Free functions ---------------------------------------------------------------------

TCustomForm* GetParentForm(TControl* Control) {
  while (Control != nullptr && Control->Parent() != nullptr) Control = Control->Parent();
  return dynamic_cast<TCustomForm*>(Control);
}

}  // namespace orn

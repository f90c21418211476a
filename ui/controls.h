// Controls: TControl (bounds, visibility, alignment, auto-size, colour, hint, popup menu,
// mouse events, messages), TWinControl (a control that holds child controls; the form is one)
// and TGraphicControl (a windowless control with its own canvas, painted by its parent).
//
// Messages go through Perform -> WndProc -> Dispatch; a subclass hooks a message by
// overriding WndProc, Dispatch or one of the virtual message handlers (WMPaint ...).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/component.h"
#include "core/properties.h"
#include "gfx/canvas.h"
#include "gfx/colors.h"
#include "gfx/gdi.h"
#include "ui/messages.h"
#include "ui/platform.h"

namespace orn {

class TWinControl;
class TCustomForm;
class TPopupMenu;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };

using TAnchors = uint32_t;
constexpr TAnchors akLeft = 0x1;
constexpr TAnchors akTop = 0x2;
constexpr TAnchors akRight = 0x4;
constexpr TAnchors akBottom = 0x8;

enum class TDragKind { dkDrag, dkDock };
enum class TDragMode { dmManual, dmAutomatic };
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crDrag = -12;

// Control style: what a control class is and does.
using TControlStyle = uint32_t;
constexpr TControlStyle csAcceptsControls = 0x0001;
constexpr TControlStyle csCaptureMouse = 0x0002;
constexpr TControlStyle csDesignInteractive = 0x0004;
constexpr TControlStyle csClickEvents = 0x0008;
constexpr TControlStyle csFramed = 0x0010;
constexpr TControlStyle csSetCaption = 0x0020;
constexpr TControlStyle csOpaque = 0x0040;
constexpr TControlStyle csDoubleClicks = 0x0080;
constexpr TControlStyle csFixedWidth = 0x0100;
constexpr TControlStyle csFixedHeight = 0x0200;
constexpr TControlStyle csNoDesignVisible = 0x0400;
constexpr TControlStyle csReplicatable = 0x0800;
constexpr TControlStyle csNoStdEvents = 0x1000;
constexpr TControlStyle csDisplayDragImage = 0x2000;
constexpr TControlStyle csReflector = 0x4000;
constexpr TControlStyle csActionClient = 0x8000;
constexpr TControlStyle csMenuEvents = 0x10000;

// Control state: what a control is doing now.
using TControlState = uint32_t;
constexpr TControlState csLButtonDown = 0x0001;
constexpr TControlState csClicked = 0x0002;
constexpr TControlState csPalette = 0x0004;
constexpr TControlState csReadingState = 0x0008;
constexpr TControlState csAlignmentNeeded = 0x0010;
constexpr TControlState csFocusing = 0x0020;
constexpr TControlState csCreating = 0x0040;
constexpr TControlState csPaintCopy = 0x0080;  // being painted into another's background copy
constexpr TControlState csCustomPaint = 0x0100;
constexpr TControlState csDestroyingHandle = 0x0200;
constexpr TControlState csDocking = 0x0400;

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TContextPopupEvent = std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
using TStartDragEvent = std::function<void(TObject* Sender)>;

// Minimum and maximum size of a control; 0 means no limit.
class TSizeConstraints : public TPersistent {
 public:
  std::string ClassName() const override { return "TSizeConstraints"; }
  void Assign(TPersistent* Source) override;
  int MaxHeight() const { return FMaxHeight; }
  int MaxWidth() const { return FMaxWidth; }
  int MinHeight() const { return FMinHeight; }
  int MinWidth() const { return FMinWidth; }
  void SetMaxHeight(int Value);
  void SetMaxWidth(int Value);
  void SetMinHeight(int Value);
  void SetMinWidth(int Value);
  // Applies the limits to a proposed size.
  void Constrain(int& Width, int& Height) const;
  void DeclareProperties(TPropertyList& Props) const override;
  TNotifyEvent OnChange;

 private:
  int FMaxHeight = 0, FMaxWidth = 0, FMinHeight = 0, FMinWidth = 0;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  // ---- Messages -------------------------------------------------------------------------
  // Builds a message and passes it to WndProc; returns its Result.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  virtual void WndProc(TMessage& Message);
  // Calls the handler of Message.Msg, or DefaultHandler.
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  // ---- Parent and geometry --------------------------------------------------------------
  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);
  // A control read from a form description gets the enclosing windowed control as parent.
  void SetParentComponent(TComponent* Value) override;
  TComponent* GetParentComponent() const override;
  bool HasParent() const override { return true; }
  virtual bool IsWindowed() const { return false; }

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  // Moves and sizes the control (constrained; repaints what changed).
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  virtual int ClientWidth() const { return FWidth; }
  virtual int ClientHeight() const { return FHeight; }
  void SetClientWidth(int Value);
  void SetClientHeight(int Value);
  TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }
  // Client coordinates of this control <-> screen coordinates.
  virtual TPoint ClientToScreen(TPoint P) const;
  virtual TPoint ScreenToClient(TPoint P) const;

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value) { FAnchors = Value; }
  TSizeConstraints& Constraints() { return FConstraints; }
  bool AutoSize() const { return FAutoSize; }
  virtual void SetAutoSize(bool Value);
  // Answers whether the control may size itself and proposes the size in the arguments.
  virtual bool CanAutoSize(int& NewWidth, int& NewHeight);
  // Sizes the control to its content when AutoSize is on (through CanAutoSize).
  virtual void AdjustSize();

  // ---- State ----------------------------------------------------------------------------
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle Value) { FControlStyle = Value; }
  TControlState ControlState() const { return FControlState; }
  void SetControlState(TControlState Value) { FControlState = Value; }

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value) { FCursor = Value; }
  TCursor DragCursor() const { return FDragCursor; }
  void SetDragCursor(TCursor Value) { FDragCursor = Value; }
  TDragKind DragKind() const { return FDragKind; }
  void SetDragKind(TDragKind Value) { FDragKind = Value; }
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode Value) { FDragMode = Value; }

  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value);

  // ---- Painting -------------------------------------------------------------------------
  // Marks the control's area to be painted by the next Update (or the loop).
  virtual void Invalidate();
  // Paints what is marked now.
  virtual void Update();
  // Invalidate and Update.
  virtual void Repaint();
  void Refresh() { Repaint(); }
  // The palette the control needs, or 0.
  virtual HPALETTE GetPalette() { return nullptr; }

  // ---- Events ---------------------------------------------------------------------------
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TContextPopupEvent OnContextPopup;
  // Stored for form descriptions; this platform has no drag-and-drop or docking.
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;
  TStartDragEvent OnStartDrag;
  TEndDragEvent OnEndDock;
  TStartDragEvent OnStartDock;

  void Loaded() override;
  // Publishes nothing itself: a control class publishes what it chooses with the helpers
  // DeclareBaseProperties (Left, Top, Width, Height, Hint, ShowHint, ParentShowHint, Visible)
  // and the other Declare... helpers below.
  static void DeclareBaseProperties(TPropertyList& Props);
  static void DeclareColorProperties(TPropertyList& Props);  // Color, ParentColor
  // Align, Anchors, Constraints, Cursor, DragCursor, DragKind, DragMode, Enabled, PopupMenu.
  static void DeclareLayoutProperties(TPropertyList& Props);
  // OnClick, OnDblClick, OnMouseDown, OnMouseMove, OnMouseUp, OnContextPopup, drag events.
  static void DeclareMouseEvents(TPropertyList& Props);

 protected:
  virtual void WMPaint(TMessage& Message);
  virtual void WMEraseBkgnd(TMessage& Message);
  virtual void WMMouse(TMessage& Message);
  virtual void WMContextMenu(TMessage& Message);
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void Click();
  virtual void DblClick();
  virtual void Resize() {}
  // The parent's colour or hint switch changed.
  virtual void ParentColorChanged();
  virtual void ParentShowHintChanged();
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // The colour with system colours left unresolved.
  virtual void ColorChanged() { Invalidate(); }

  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TControlStyle FControlStyle = csCaptureMouse | csClickEvents | csDoubleClicks;
  // Atomic: a control painted by a worker thread reads it while the GUI thread handles the
  // mouse.
  std::atomic<TControlState> FControlState{0};

 private:
  friend class TWinControl;
  TWinControl* FParent = nullptr;
  TAlign FAlign = TAlign::alNone;
  TAnchors FAnchors = akLeft | akTop;
  TSizeConstraints FConstraints;
  bool FAutoSize = false;
  std::atomic<bool> FVisible{true};  // read by a worker that paints the control
  bool FEnabled = true;
  TColor FColor = clWindow;
  bool FParentColor = false;
  TCursor FCursor = crDefault;
  TCursor FDragCursor = crDrag;
  TDragKind FDragKind = TDragKind::dkDrag;
  TDragMode FDragMode = TDragMode::dmManual;
  std::string FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TPopupMenu* FPopupMenu = nullptr;
  bool FAdjusting = false;
};

// A control that can hold other controls. Its children are painted in their order (later ones
// on top).
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }
  bool IsWindowed() const override { return true; }

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  // The writer stores the children of a form inside it.
  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
  // The topmost visible child whose rectangle holds the client point, or nullptr.
  TControl* ControlAtPos(TPoint P, bool AllowDisabled) const;

  // The control's window, created on demand; 0 for a windowed control without one of its own.
  virtual HWND Handle() { return 0; }
  virtual bool HandleAllocated() const { return false; }

  // Paints the control's own content (not its children) into Dc.
  virtual void PaintWindow(HDC Dc);
  // Paints the windowless children that intersect the clip box of Dc, each with the
  // viewport origin at its top-left corner and clipped to its rectangle.
  void PaintControls(HDC Dc, TControl* First);
  // Aligns the children whose Align is not alNone.
  void Realign();

  // Marks Rect (client coordinates) of this control to be painted again.
  virtual void InvalidateRect(const TRect& R);

 protected:
  void WMPaint(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  virtual void AlignControls(TControl* AControl, TRect& R);

 private:
  std::vector<TControl*> FControls;
};

// A windowless control with a canvas of its own. The parent sends it WM_PAINT with a device
// context whose origin and clip put the control at (0, 0); the control paints with Paint.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  std::string ClassName() const override { return "TGraphicControl"; }

  // Points at the device context of the WM_PAINT being handled, and at nothing otherwise;
  // drawing on it outside of a paint raises EInvalidGraphicOperation.
  TCanvas& Canvas() { return *FCanvas; }

 protected:
  // Points the canvas at the message's context, calls Paint and detaches the canvas, all
  // under the canvas lock. A message without a context paints nothing.
  void WMPaint(TMessage& Message) override;
  virtual void Paint() {}

 private:
  std::unique_ptr<TCanvas> FCanvas;
};

// The form that (directly or through parents) holds Control, or nullptr.
TCustomForm* GetParentForm(TControl* Control);

// A device context drawing on a form's window (client coordinates); 0 for an unknown window.
// Any thread; the window's surface stays locked for this caller until ReleaseDC, which
// presents what was drawn.
HDC GetDC(HWND Wnd);
int ReleaseDC(HWND Wnd, HDC Dc);

// The device context of a window for the lifetime of the object; Handle() is 0 for an unknown
// window. Released (and so presented) at the end of the scope.
class TWindowDC {
 public:
  explicit TWindowDC(HWND Wnd) : FWnd(Wnd), FDc(GetDC(Wnd)) {}
  ~TWindowDC() {
    if (FDc != nullptr) ReleaseDC(FWnd, FDc);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;

  HDC Handle() const { return FDc; }

 private:
  HWND FWnd;
  HDC FDc;
};

}  // namespace orn

// Forms and the screen. A form is a top-level window: it owns a window of the window system
// (created on demand, through ui/platform.h), paints itself and its windowless controls into
// an off-screen bitmap and presents the finished pixels.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "ui/controls.h"

namespace orn {

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderIcons = uint32_t;
constexpr TBorderIcons biSystemMenu = 0x1;
constexpr TBorderIcons biMinimize = 0x2;
constexpr TBorderIcons biMaximize = 0x4;
constexpr TBorderIcons biHelp = 0x8;
enum class TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// Window-class style bit: the system draws a drop shadow under the window.
constexpr uint32_t CS_DROPSHADOW = 0x20000;
constexpr uint32_t WS_EX_LAYERED = 0x80000;
constexpr uint32_t WS_EX_TOPMOST = 0x8;
constexpr uint32_t WS_EX_TOOLWINDOW = 0x80;

// What a form's window is created with.
struct TCreateParams {
  std::string Caption;
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = 0;
  struct {
    uint32_t style = 0;  // class style (CS_...)
  } WindowClass;
};

using TFontStyles = uint32_t;
constexpr TFontStyles fsBold = 0x1;
constexpr TFontStyles fsItalic = 0x2;
constexpr TFontStyles fsUnderline = 0x4;
constexpr TFontStyles fsStrikeOut = 0x8;

// The font a form describes. Nothing in this system draws text; the values are kept so that
// form descriptions load and store them.
class TFont : public TPersistent {
 public:
  std::string ClassName() const override { return "TFont"; }
  void Assign(TPersistent* Source) override;
  void DeclareProperties(TPropertyList& Props) const override;
  int Charset = 1;  // DEFAULT_CHARSET
  TColor Color = clWindowText;
  int Height = -11;
  std::string Name = "MS Sans Serif";
  TFontStyles Style = 0;
};

class TCustomForm : public TWinControl, private TWindowClient {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;
  std::string ClassName() const override { return "TCustomForm"; }

  // The window, created on demand.
  HWND Handle() override;
  bool HandleAllocated() const override { return FHandle != 0; }
  void HandleNeeded() { Handle(); }

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value) { FBorderStyle = Value; }
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value) { FBorderIcons = Value; }
  // Layered-window alpha. Setting either to the value it has does nothing.
  bool AlphaBlend() const { return FAlphaBlend; }
  void SetAlphaBlend(bool Value);
  uint8_t AlphaBlendValue() const { return FAlphaBlendValue; }
  void SetAlphaBlendValue(uint8_t Value);
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int Value) { FPixelsPerInch = Value; }

  TFont* Font() { return &FFont; }
  int TextHeight() const { return FTextHeight; }
  void SetTextHeight(int Value) { FTextHeight = Value; }
  bool OldCreateOrder() const { return FOldCreateOrder; }
  void SetOldCreateOrder(bool Value) { FOldCreateOrder = Value; }

  // Caption, Color, BorderStyle, BorderIcons, AlphaBlend, AlphaBlendValue, Position, Left, Top,
  // Width, Height, ClientWidth, ClientHeight, Font, PixelsPerInch, TextHeight, Visible and the
  // form events.
  void DeclareProperties(TPropertyList& Props) const override;

  // The form's canvas: draws on the off-screen picture while the form paints.
  TCanvas& Canvas() { return *FCanvas; }

  void SetVisible(bool Value) override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  TPoint ClientToScreen(TPoint P) const override;
  TPoint ScreenToClient(TPoint P) const override;

  // Asks OnCloseQuery; true when the form may close.
  virtual bool CloseQuery();
  // Closes the form: close query, OnClose; closing the application's main form ends the
  // application, any other form is hidden (caHide) or destroyed later (caFree).
  void Close();
  // The form's place in the activation order (the screen's active form).
  bool Active() const;

  // Paints the whole form now into its off-screen picture and presents it.
  void PaintNow();
  void Invalidate() override;
  void Update() override;
  void InvalidateRect(const TRect& R) override;
  bool PaintPending() const { return FPaintPending; }
  // Forgets the control that holds the mouse (ReleaseCapture).
  void ReleaseMouseCapture();

  // A device context on the pixels the window shows (client size, 32 bits). The surface stays
  // locked for the calling thread until UnlockSurface, which frees Dc and, with Present,
  // hands the pixels to the window system. Any thread.
  HDC LockSurface();
  void UnlockSurface(HDC Dc, bool Present);

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnPaint;
  TNotifyEvent OnActivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

 protected:
  // Fills Params for the window about to be created; overrides call the inherited one first.
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  virtual void DoShow();
  virtual void DoHide();
  void Dispatch(TMessage& Message) override;
  void PaintWindow(HDC Dc) override;
  void Loaded() override;

 private:
  // Window-system events.
  void WindowMouse(const TMouseInput& Input) override;
  void WindowMoved(int Left, int Top) override;
  void WindowCloseRequest() override;
  bool WindowQueryEndSession() override;
  void WindowExposed() override;
  void RouteMouse(TMouseAction Action, TMouseButton Button, TShiftState Shift, int X, int Y);
  void PresentSurface();

  std::atomic<HWND> FHandle{0};
  TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  bool FAlphaBlend = false;
  uint8_t FAlphaBlendValue = 255;
  std::string FCaption;
  TPosition FPosition = TPosition::poDesigned;
  int FPixelsPerInch = 96;
  int FTextHeight = 13;
  bool FOldCreateOrder = false;
  TFont FFont;
  bool FPaintPending = false;
  bool FPaintPosted = false;
  TControl* FCaptureControl = nullptr;
  TControl* FMouseControl = nullptr;
  std::unique_ptr<TCanvas> FCanvas;
  HBITMAP FPaintBuffer = nullptr;  // GUI thread: where the form paints
  std::recursive_mutex FSurfaceLock;
  HBITMAP FSurface = nullptr;  // what the window shows; guarded by FSurfaceLock
  bool FMovedByUser = false;
  bool FVisibleAfterLoad = false;
  // The button press being handled or held, which a move drag continues.
  TMoveDragStart FPress;
  bool FPressHeld = false;
};

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
  std::string ClassName() const override { return "TForm"; }
};

// The screen: its forms, the active form, the work area and the primary display size.
class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  std::string ClassName() const override { return "TScreen"; }

  int FormCount() const { return static_cast<int>(FForms.size()); }
  TCustomForm* Forms(int Index) const;
  TCustomForm* ActiveForm() const { return FActiveForm; }
  void SetActiveForm(TCustomForm* Form);

  TRect WorkAreaRect() const;
  int WorkAreaLeft() const { return WorkAreaRect().Left; }
  int WorkAreaTop() const { return WorkAreaRect().Top; }
  int WorkAreaWidth() const { return WorkAreaRect().Width(); }
  int WorkAreaHeight() const { return WorkAreaRect().Height(); }
  int Width() const;
  int Height() const;

  // Forms register themselves while they exist.
  void AddForm(TCustomForm* Form);
  void RemoveForm(TCustomForm* Form);
  // The form whose window is Wnd, or nullptr. Any thread.
  TCustomForm* FindForm(HWND Wnd) const;

 private:
  mutable std::mutex FLock;
  std::vector<TCustomForm*> FForms;
  TCustomForm* FActiveForm = nullptr;
};

// The process-wide screen object.
TScreen* Screen();

// Win32-style window functions the application uses on form windows.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
bool ShowWindow(HWND Wnd, int CmdShow);

constexpr HWND HWND_TOP = 0;
constexpr HWND HWND_BOTTOM = 1;
constexpr HWND HWND_TOPMOST = static_cast<HWND>(-1);
constexpr HWND HWND_NOTOPMOST = static_cast<HWND>(-2);
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
bool SetWindowPos(HWND Wnd, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags);

// The window region: the system takes ownership of Region (0 removes the region).
int SetWindowRgn(HWND Wnd, HRGN Region, bool Redraw);

constexpr int GWL_HWNDPARENT = -8;
// Only GWL_HWNDPARENT is supported: makes Value the owner of the window (the desktop window
// or 0). Returns the previous owner.
intptr_t SetWindowLong(HWND Wnd, int Index, intptr_t Value);
intptr_t GetWindowLong(HWND Wnd, int Index);
HWND GetDesktopWindow();
bool ReleaseCapture();

}  // namespace orn

// The window-system seam. Forms, controls, menus, timers and the application are portable code
// above this interface; a backend (headless for tests, a desktop one for real use) implements
// it and installs itself with SetPlatform. All drawing happens above the seam: a backend only
// shows the finished 32-bit pixels of a window's client area.
//
// Threads: every operation is called on the GUI thread except PresentPixels, Post and
// ShowErrorMessage, which any thread may call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gfx/gdi.h"
#include "ui/messages.h"

namespace orn {

class TMenuItem;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Modifier keys and mouse buttons held, as bit flags.
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;
constexpr TShiftState ssDouble = 0x40;

enum class TMouseAction { maMove, maDown, maUp, maLeave };

// What a backend tells the owner of a top-level window. Coordinates are client coordinates.
class TWindowClient {
 public:
  virtual ~TWindowClient() = default;
  virtual void WindowMouse(TMouseAction Action, TMouseButton Button, TShiftState Shift, int X,
                           int Y) = 0;
  // The window was moved by the user (a move drag) to this top-left corner.
  virtual void WindowMoved(int Left, int Top) = 0;
  // The user asked to close the window (the system's close command).
  virtual void WindowCloseRequest() = 0;
  // The session ends (log-off, shutdown): answer whether the window agrees.
  virtual bool WindowQueryEndSession() = 0;
  // The backend lost the window's pixels and needs them presented again.
  virtual void WindowExposed() = 0;
};

// How a top-level window is created.
struct TWindowParams {
  TRect Bounds;  // screen coordinates; borderless windows have client = window
  std::string Caption;
  bool DropShadow = false;
  bool Layered = false;
  uint8_t Alpha = 255;
  bool Topmost = false;
  bool SkipTaskbar = false;
};

using TTimerHandle = uintptr_t;  // 0 = no timer

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  // ---- Top-level windows ----------------------------------------------------------------
  // Wnd is the handle the UI layer chose for the window (see ui/messages.h).
  virtual void CreateWindow(HWND Wnd, TWindowClient* Client, const TWindowParams& Params) = 0;
  virtual void DestroyWindow(HWND Wnd) = 0;
  virtual void SetWindowBounds(HWND Wnd, const TRect& Bounds) = 0;
  virtual void SetWindowCaption(HWND Wnd, const std::string& Caption) = 0;
  virtual void ShowWindow(HWND Wnd, bool Visible) = 0;
  // Shows the client area's pixels: Width x Height values 0x00RRGGBB (red in bits 16..23),
  // rows top-down. Any thread.
  virtual void PresentPixels(HWND Wnd, int Width, int Height, const uint32_t* Pixels) = 0;
  // Limits the window to the union of Rects (window coordinates); nullptr removes the limit.
  virtual void SetWindowRegion(HWND Wnd, const std::vector<TRect>* Rects) = 0;
  virtual void SetWindowAlpha(HWND Wnd, bool Layered, uint8_t Alpha) = 0;
  virtual void SetWindowTopmost(HWND Wnd, bool Topmost) = 0;
  virtual void SetWindowSkipTaskbar(HWND Wnd, bool Skip) = 0;
  virtual void SetWindowOwnerDesktop(HWND Wnd, bool OwnerDesktop) = 0;
  virtual void SetWindowDropShadow(HWND Wnd, bool Shadow) = 0;
  // Starts the system's move loop: the window follows the mouse until the button is released;
  // the backend reports the new place through WindowMoved.
  virtual void BeginMoveDrag(HWND Wnd) = 0;
  virtual void ReleaseCapture() = 0;

  // ---- Menus and tooltips ---------------------------------------------------------------
  // Shows the items of Menu (its children) at the screen point and returns the item the user
  // chose, or nullptr. The backend reads captions, separators, checks, radio marks, default,
  // enabled and submenus from the model and never clicks an item itself.
  virtual TMenuItem* TrackPopupMenu(HWND Owner, TMenuItem& Menu, int X, int Y) = 0;
  // Shows a tooltip of these lines near the screen point; replaces one that is shown.
  virtual void ShowTooltip(const std::vector<std::string>& Lines, int X, int Y) = 0;
  virtual void HideTooltip() = 0;

  // ---- Timers and the message loop ------------------------------------------------------
  // Calls Tick on the GUI thread every Interval ms until StopTimer; 0 when no timer is left.
  virtual TTimerHandle StartTimer(uint32_t Interval, std::function<void()> Tick) = 0;
  virtual void StopTimer(TTimerHandle Timer) = 0;
  // Queues Call for the GUI thread's loop. Any thread.
  virtual void Post(std::function<void()> Call) = 0;
  // Runs the loop (timers, posted calls, calls handed over through the system services,
  // window events) until QuitLoop.
  virtual void RunLoop() = 0;
  // Ends RunLoop; asked before RunLoop, the next RunLoop returns at once.
  virtual void QuitLoop() = 0;
  // Runs what is waiting (posted calls, handed-over calls, due timers, pending window events)
  // without blocking.
  virtual void ProcessPending() = 0;

  // ---- Screen and reports ---------------------------------------------------------------
  // The part of the primary screen not covered by task bars, in screen coordinates.
  virtual TRect WorkArea() = 0;
  // Width and height of the primary display.
  virtual TPoint ScreenSize() = 0;
  // Shows an error message to the user (the application's default error report).
  virtual void ShowErrorMessage(const std::string& Title, const std::string& Message) = 0;
};

// The installed backend; raises Exception "No window system installed" when there is none.
TPlatform& Platform();
bool PlatformInstalled();
// Installs Backend (not owned; nil removes it) and returns the one installed before.
TPlatform* SetPlatform(TPlatform* Backend);

}  // namespace orn

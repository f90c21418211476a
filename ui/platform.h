// The window-system seam. Forms, controls, menus, timers and the application are portable code
// above this interface; a backend (headless for tests, a desktop one for real use) implements
// it and installs itself with SetPlatform. All drawing happens above the seam: a backend only
// shows the finished 32-bit pixels of a window's client area.
//
// Threads: every operation is called on the GUI thread except PresentPixels, Post and
// ShowErrorMessage, which any thread may call.
//
// Blocking: TrackPopupMenu and ShowErrorMessage (on the GUI thread) may block until the user
// has answered. While they block, the backend keeps serving the GUI thread: posted calls,
// calls handed over through the system services (TThread::Synchronize) and timers all keep
// running, so a worker waiting for the GUI thread never stalls behind an open menu or dialog.
// Every other operation returns at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gfx/gdi.h"
#include "ui/messages.h"

namespace orn {

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

// One mouse event of a top-level window.
struct TMouseInput {
  TMouseAction Action = TMouseAction::maMove;
  TMouseButton Button = TMouseButton::mbLeft;  // the button pressed or released
  TShiftState Shift = 0;
  int X = 0, Y = 0;   // client coordinates
  TPoint Screen;      // the same point in screen coordinates
  uint32_t Time = 0;  // the window system's time stamp of the event, in milliseconds
};

// What a window manager needs to start moving a window with the mouse: the button held, where
// it was pressed (screen coordinates) and the time stamp of the press.
struct TMoveDragStart {
  TMouseButton Button = TMouseButton::mbLeft;
  TPoint Screen;
  uint32_t Time = 0;
};

// One entry of a popup menu as the window system shows it. The portable menu decides what
// shows and how (hidden items are left out, separators, marks, the bold default item, the
// caption without its mnemonic marks); a backend renders exactly these entries.
struct TPopupMenuEntry {
  int Id = -1;       // what TrackPopupMenu returns when the user chooses the entry
  std::string Name;  // the menu item's component name (for tests and accessibility)
  std::string Caption;
  bool Separator = false;
  bool Enabled = true;
  bool Checked = false;
  bool Radio = false;    // a checked radio item shows a radio mark instead of a check mark
  bool Default = false;  // drawn bold
  std::vector<TPopupMenuEntry> Items;  // not empty: the entry opens this submenu
};

// What a backend tells the owner of a top-level window.
class TWindowClient {
 public:
  virtual ~TWindowClient() = default;
  virtual void WindowMouse(const TMouseInput& Input) = 0;
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
  // Starts the system's move loop for the button press described by Start: the window follows
  // the mouse until the button is released; the backend reports the new place through
  // WindowMoved. A release without movement still reaches the window as a mouse-up, so a
  // press of the right button that asked for a move still opens the context menu.
  virtual void BeginMoveDrag(HWND Wnd, const TMoveDragStart& Start) = 0;
  virtual void ReleaseCapture() = 0;

  // ---- Menus and tooltips ---------------------------------------------------------------
  // Shows the entries as a popup menu at the screen point, waits until it closes and returns
  // the Id of the entry the user chose, or -1. May block (see above).
  virtual int TrackPopupMenu(HWND Owner, const std::vector<TPopupMenuEntry>& Items, int X,
                             int Y) = 0;
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
  // Shows an error message to the user (the application's default error report). May block
  // on the GUI thread until the user dismisses it (see above).
  virtual void ShowErrorMessage(const std::string& Title, const std::string& Message) = 0;
};

// The installed backend; raises Exception "No window system installed" when there is none.
TPlatform& Platform();
bool PlatformInstalled();
// Installs Backend (not owned; nil removes it) and returns the one installed before.
TPlatform* SetPlatform(TPlatform* Backend);

}  // namespace orn

// The headless backend: windows kept in memory with everything the UI layer told them, the
// presented pixels readable by tests, injected mouse input, scripted popup-menu choices, a
// tooltip record, window timers on a virtual clock that the test advances, and a GUI-thread
// queue that the test drains. Nothing sleeps and nothing is drawn here. Posted calls and timer
// ticks run through DispatchGuarded, as in a real message loop: what they raise is reported
// through the application, never thrown out of Drain, Advance or RunLoop.
//
// Creating a THeadlessBackend installs it as the window system and its own headless system
// services (with the clock frozen at the moment of creation) for its lifetime; the previous
// ones come back when it is destroyed. Create it on the thread that acts as the GUI thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/system_headless.h"
#include "ui/platform.h"

namespace orn {

// What the backend knows of a window.
struct THeadlessWindow {
  TWindowClient* Client = nullptr;
  TRect Bounds;
  std::string Caption;
  bool Visible = false;
  bool HasRegion = false;
  std::vector<TRect> Region;  // window coordinates, when HasRegion
  bool Layered = false;
  uint8_t Alpha = 255;
  bool Topmost = false;
  bool SkipTaskbar = false;
  bool OwnerDesktop = false;
  bool DropShadow = false;
  int MoveDragRequests = 0;
  TMoveDragStart LastMoveDrag;  // what the last move drag was started with
  int PresentCount = 0;
  int PresentCountWhenShown = -1;  // presents made before the window was first shown
  int FrameWidth = 0;
  int FrameHeight = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB, top-down
};

class THeadlessBackend : public TPlatform {
 public:
  THeadlessBackend();
  ~THeadlessBackend() override;
  THeadlessBackend(const THeadlessBackend&) = delete;
  THeadlessBackend& operator=(const THeadlessBackend&) = delete;

  THeadlessSystemServices& Services() { return FServices; }

  // ---- Inspection ------------------------------------------------------------------------
  std::vector<HWND> WindowHandles() const;
  bool HasWindow(HWND Wnd) const;
  // A copy of the window's record; raises Exception for an unknown window.
  THeadlessWindow Window(HWND Wnd) const;
  // A presented pixel as a colour value (red in the low byte); CLR_INVALID outside the frame.
  TColor PixelAt(HWND Wnd, int X, int Y) const;
  // Whether the window takes the point (client coordinates): inside the bounds and the region.
  bool HitTest(HWND Wnd, int X, int Y) const;
  // Every operation the UI layer asked for, in order ("ShowWindow 131072 1", ...).
  std::vector<std::string> Log() const;
  void ClearLog();
  std::vector<std::string> ErrorMessages() const;
  std::vector<std::string> ErrorTitles() const;

  // ---- Mouse -----------------------------------------------------------------------------
  // Client coordinates. Input outside the window's region is not delivered (false). Events
  // carry the virtual clock as their time stamp.
  bool MouseMove(HWND Wnd, int X, int Y, TShiftState Shift = 0);
  bool MouseDown(HWND Wnd, TMouseButton Button, int X, int Y, TShiftState Shift = 0);
  bool MouseUp(HWND Wnd, TMouseButton Button, int X, int Y, TShiftState Shift = 0);
  bool Click(HWND Wnd, TMouseButton Button, int X, int Y);
  void MouseLeave(HWND Wnd);
  // Lets the mouse rest: the virtual clock moves on by Milliseconds.
  void Rest(uint32_t Milliseconds) { Advance(Milliseconds); }
  // Ends a move drag: the window now stands at (Left, Top).
  void FinishMoveDrag(HWND Wnd, int Left, int Top);
  // The system's close command; a session end asks the window.
  void RequestClose(HWND Wnd);
  bool QueryEndSession(HWND Wnd);
  void Expose(HWND Wnd);

  // ---- Popup menu ------------------------------------------------------------------------
  // The next popup menus choose these entries by component name, one per popup; "", an
  // unknown name (hidden items are not shown), a separator, a submenu or a disabled entry
  // closes the menu without a choice; with no choice queued, nothing is chosen.
  void QueuePopupChoice(const std::string& ItemName);
  int PopupCount() const;
  // The last menu shown and where.
  std::vector<TPopupMenuEntry> LastPopupMenu() const;
  TPoint LastPopupPoint() const;

  // ---- Tooltip ---------------------------------------------------------------------------
  bool TooltipVisible() const;
  std::vector<std::string> TooltipLines() const;
  int TooltipShowCount() const;

  // ---- Virtual clock, timers and queue ---------------------------------------------------
  // Milliseconds of the virtual clock since the backend was made.
  uint64_t Now() const;
  // Moves the clock on by Milliseconds: every timer that falls due fires, in the order of its
  // due time (then of its start), each followed by a drain of the queue.
  void Advance(uint64_t Milliseconds);
  size_t TimerCount() const;
  // Limits how many timers may run at once (StartTimer gives 0 beyond it); -1 for no limit.
  void SetTimerLimit(int Limit);
  // Runs the posted calls and the calls handed over through the system services until none
  // is left; returns how many ran.
  int Drain();
  size_t PostedCount() const;
  // Schedules Action on the virtual clock (absolute time Now()-based) for RunLoop/Advance.
  void At(uint64_t Time, std::function<void()> Action);
  // RunLoop gives up (and reports LoopStalled) when nothing is scheduled, and stops when the
  // virtual clock passes this limit from the loop's start.
  void SetLoopTimeLimit(uint64_t Milliseconds) { FLoopLimit = Milliseconds; }
  bool LoopStalled() const { return FLoopStalled; }
  bool QuitRequested() const { return FQuit; }

  // ---- Screen ----------------------------------------------------------------------------
  void SetWorkArea(const TRect& Area);
  void SetScreenSize(int Width, int Height);

  // ---- TPlatform -------------------------------------------------------------------------
  void CreateWindow(HWND Wnd, TWindowClient* Client, const TWindowParams& Params) override;
  void DestroyWindow(HWND Wnd) override;
  void SetWindowBounds(HWND Wnd, const TRect& Bounds) override;
  void SetWindowCaption(HWND Wnd, const std::string& Caption) override;
  void ShowWindow(HWND Wnd, bool Visible) override;
  void PresentPixels(HWND Wnd, int Width, int Height, const uint32_t* Pixels) override;
  void SetWindowRegion(HWND Wnd, const std::vector<TRect>* Rects) override;
  void SetWindowAlpha(HWND Wnd, bool Layered, uint8_t Alpha) override;
  void SetWindowTopmost(HWND Wnd, bool Topmost) override;
  void SetWindowSkipTaskbar(HWND Wnd, bool Skip) override;
  void SetWindowOwnerDesktop(HWND Wnd, bool OwnerDesktop) override;
  void SetWindowDropShadow(HWND Wnd, bool Shadow) override;
  void BeginMoveDrag(HWND Wnd, const TMoveDragStart& Start) override;
  void ReleaseCapture() override;
  int TrackPopupMenu(HWND Owner, const std::vector<TPopupMenuEntry>& Items, int X, int Y) override;
  void ShowTooltip(const std::vector<std::string>& Lines, int X, int Y) override;
  void HideTooltip() override;
  TTimerHandle StartTimer(uint32_t Interval, std::function<void()> Tick) override;
  void StopTimer(TTimerHandle Timer) override;
  void Post(std::function<void()> Call) override;
  void RunLoop() override;
  void QuitLoop() override;
  void ProcessPending() override { Drain(); }
  TRect WorkArea() override;
  TPoint ScreenSize() override;
  void ShowErrorMessage(const std::string& Title, const std::string& Message) override;

 private:
  struct TTimer {
    uint32_t Interval = 0;
    uint64_t Due = 0;
    std::function<void()> Tick;
  };
  THeadlessWindow& Require(HWND Wnd);
  const THeadlessWindow& Require(HWND Wnd) const;
  void Record(const std::string& Entry);
  TWindowClient* ClientFor(HWND Wnd, int X, int Y, bool CheckRegion);
  // Delivers a mouse event at client point (X, Y) with its screen point and time stamp.
  bool Deliver(HWND Wnd, TMouseAction Action, TMouseButton Button, TShiftState Shift, int X, int Y,
               bool CheckRegion);
  // Fires the next timer or action due at or before Limit; false when there is none.
  bool FireNext(uint64_t Limit);
  std::optional<uint64_t> NextDue() const;
  void MoveClockTo(uint64_t Time);

  THeadlessSystemServices FServices;
  TSystemServices* FPreviousServices = nullptr;
  TPlatform* FPreviousPlatform = nullptr;

  mutable std::mutex FLock;
  std::map<HWND, THeadlessWindow> FWindows;
  std::vector<std::string> FLog;
  std::vector<std::string> FErrors;
  std::vector<std::string> FErrorTitles;
  std::deque<std::function<void()>> FPosted;

  std::deque<std::string> FPopupChoices;
  int FPopupCount = 0;
  std::vector<TPopupMenuEntry> FLastPopup;
  TPoint FLastPopupPoint;

  bool FTooltipVisible = false;
  std::vector<std::string> FTooltipLines;
  int FTooltipShows = 0;

  uint64_t FNow = 0;
  std::map<TTimerHandle, TTimer> FTimers;
  TTimerHandle FNextTimer = 1;
  int FTimerLimit = -1;
  std::multimap<uint64_t, std::function<void()>> FActions;
  bool FQuit = false;
  bool FLoopStalled = false;
  uint64_t FLoopLimit = 24ull * 3600 * 1000;

  TRect FWorkArea = Rect(0, 0, 1920, 1040);
  TPoint FScreenSize{1920, 1080};
};

}  // namespace orn
